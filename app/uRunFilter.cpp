#include "app/uRunFilter.h"

#include <memory>

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "app/uQuilletConstants.h"
#include "app/uQuilletRegisterSwitches.h"
#include "filter/uDateConditions.h"
#include "filter/uQuillet.h"

TQuilletEnvironment QuilletEnvironment() {
  using namespace uQuilletConstants;
  TQuilletEnvironment environment;
  environment.DateLabel = SDateSwitch;
  environment.AuthorLabel = SAuthorSwitch;
  environment.PersonHeader = SReportPersonLabel;
  environment.DateHeader = SReportDateLabel;
  environment.Today = FormatShortDate(Today(), ShortDatePicture());
  environment.InputMissing = SInputMissing;
  environment.OutputMissing = SOutputMissing;
  environment.PersonMissing = SPersonMissing;
  environment.DateMissing = SDateMissing;
  for (std::size_t i = 0; i < environment.UpperCase.size(); ++i)
    environment.UpperCase[i] = static_cast<unsigned char>(i);
  OsUpperCaseBuffer(reinterpret_cast<char*>(environment.UpperCase.data()), environment.UpperCase.size());
  return environment;
}

bool RunFilter() {
  using namespace uQuilletConstants;
  try {
    auto quillet = std::make_unique<TQuillet>(QuilletEnvironment());
    std::string date = ProgramSwitch->GetValue(SDateSwitch)->AsString();
    if (date.empty()) date = DateSwitchDefault();
    quillet->SetDateOperator(ExtractDateOperator(date));
    quillet->SetDate(NormalizeDate(date, SDateFormatUnknown));
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
