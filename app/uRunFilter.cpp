#include "app/uRunFilter.h"

#include <memory>

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "app/uQuilletConstants.h"
#include "filter/uDateConditions.h"
#include "filter/uQuillet.h"

bool RunFilter() {
  using namespace uQuilletConstants;
  try {
    auto quillet = std::make_unique<TQuillet>();
    const std::string date = ProgramSwitch->GetValue(SDateSwitch)->AsString();
    if (date.empty()) {
      quillet->SetDateOperator(".EQ");
      quillet->SetDate(NormalizeDate(FormatShortDate(Today(), ShortDatePicture())));
    } else {
      quillet->SetDateOperator(ExtractDateOperator(date));
      quillet->SetDate(NormalizeDate(date));
    }
    quillet->SetPerson(ProgramSwitch->GetValue(SPersonSwitch)->AsString());
    quillet->SetAuthor(ProgramSwitch->GetValue(SAuthorSwitch)->AsString());
    quillet->SetInputFile(ProgramSwitch->GetValue(SInputSwitch)->AsString());
    quillet->SetOutputFile(ProgramSwitch->GetValue(SOutputSwitch)->AsString());
    quillet->Run();
    return true;
  } catch (const EFailure& failure) {
    // The engine is gone by now: unique_ptr released it while unwinding.
    OsWriteConsoleLine(failure.Message());
    return false;
  }
}
