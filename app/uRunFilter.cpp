#include "app/uRunFilter.h"

#include <charconv>
#include <memory>
#include <utility>

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "app/uQuilletConstants.h"
#include "app/uQuilletRegisterSwitches.h"
#include "app/uSettingsWarnings.h"
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
  environment.NoCvsLog = SNoCvsLog;
  environment.StandardInputName = SStandardInput;
  for (std::size_t i = 0; i < environment.UpperCase.size(); ++i)
    environment.UpperCase[i] = static_cast<unsigned char>(i);
  OsUpperCaseBuffer(reinterpret_cast<char*>(environment.UpperCase.data()), environment.UpperCase.size());
  return environment;
}

namespace {
// The LOCKWAIT value: whole seconds, at most a year's; none given: ten minutes.
unsigned LockWaitSeconds(const std::string& value) {
  using namespace uQuilletConstants;
  if (value.empty()) return TQuillet::DefaultLockWait;
  unsigned seconds = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (value.empty() || error != std::errc() || end != value.data() + value.size() || seconds > 365u * 86400u)
    throw EFailure(FormatMessage(SLockWaitNotValid, value));
  return seconds;
}
}  // namespace

bool RunFilter(const std::vector<std::string>& arguments) {
  using namespace uQuilletConstants;
  try {
    auto quillet = std::make_unique<TQuillet>(QuilletEnvironment());
    // All values first: the warnings about them come before the run's own lines.
    std::string date = ProgramSwitch->GetValue(SDateSwitch)->AsString();
    const bool dateGiven = !date.empty();
    std::vector<std::pair<std::string, std::string>> values;
    for (const std::string* name : {&SPersonSwitch, &SAuthorSwitch, &SInputSwitch, &SOutputSwitch})
      values.emplace_back(*name, ProgramSwitch->GetValue(*name)->AsString());
    WarnAboutArguments(arguments);
    const bool dateHoldsSwitch = WarnAboutSwitchInValue(SDateSwitch, date);
    for (const auto& [name, value] : values) {
      WarnAboutSwitchInValue(name, value);
      WarnAboutPlaceholder(name, value);
    }
    if (dateGiven && !dateHoldsSwitch) WarnAboutDateOperator(date);

    if (!dateGiven) date = DateSwitchDefault();
    quillet->SetDateOperator(ExtractDateOperator(date));
    quillet->SetDate(NormalizeDate(date, SDateFormatUnknown));
    quillet->SetPerson(values[0].second);
    quillet->SetAuthor(values[1].second);
    // On POSIX a "\" in a path stands for "/": the messages show the path so.
    quillet->SetInputFile(OsNativePath(values[2].second));
    quillet->SetOutputFile(OsNativePath(values[3].second));
    quillet->SetLockWait(LockWaitSeconds(ProgramSwitch->GetValue(SLockWaitSwitch)->AsString()));
    quillet->Run();
    return true;
  } catch (const EFailure& failure) {
    // The engine is gone by now: unique_ptr released it while unwinding.
    OsWriteConsoleLine(failure.Message());
    // A first run without the switches it needs learns where they are listed.
    const std::string& message = failure.Message();
    if (arguments.empty() || message == SInputMissing || message == SOutputMissing || message == SPersonMissing)
      WriteTryHelp();
    return false;
  }
}
