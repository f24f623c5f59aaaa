// The engine alone, for the benchmark: quillet_bench OPERATOR DATE AUTHOR INPUT OUTPUT
// (DATE as yyyy/mm/dd). Exit code 1 and the message on stderr when the run fails.
// QUILLET_PARTS=N cuts the log into N parts (default: the engine's choice);
// QUILLET_SECOND="OPERATOR DATE" adds a second date condition.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Bibliothek/Plattform/uOsProcess.h"
#include "Bibliothek/uFailure.h"
#include "filter/uQuillet.h"
#include "filter/uQuilletTestEnvironment.h"

int main(int argc, char** argv) {
  const std::optional<TDateOperator> op = argc == 6 ? DateOperatorFromText(argv[1]) : std::nullopt;
  if (!op) {
    std::fprintf(stderr, "usage: quillet_bench .EQ|.GT|.GE|.LT|.LE DATE AUTHOR INPUT OUTPUT\n");
    return 2;
  }
  OsStartupProcess(argc, argv);
  try {
    TQuillet engine(TestEnvironment("07.12.2026"));
    engine.SetDateOperator(*op);
    engine.SetDate(argv[2]);
    engine.SetPerson("bench");
    engine.SetAuthor(argv[3]);
    engine.SetInputFile(argv[4]);
    engine.SetOutputFile(argv[5]);
    if (const char* parts = std::getenv("QUILLET_PARTS")) engine.SetParts(std::strtoul(parts, nullptr, 10));
    if (const char* second = std::getenv("QUILLET_SECOND")) {
      const std::string text = second;
      const std::optional<TDateOperator> secondOp = DateOperatorFromText(text.substr(0, text.find(' ')));
      if (secondOp && text.find(' ') != std::string::npos)
        engine.SetSecondDateCondition(*secondOp, text.substr(text.find(' ') + 1));
    }
    engine.Run();
  } catch (const EFailure& failure) {
    std::fprintf(stderr, "%s\n", failure.Message().c_str());
    return 1;
  }
  return 0;
}
