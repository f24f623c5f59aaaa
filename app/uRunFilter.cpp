#include "app/uRunFilter.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uStringRoutines.h"
#include "app/uQuilletConstants.h"
#include "app/uQuilletRegisterSwitches.h"
#include "app/uSlips.h"
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
  environment.LogCutShort = SLogCutShort;
  environment.StandardInputName = SStandardInput;
  environment.LockStillHeld = SLockStillHeld;
  environment.LockStillHeldBy = SLockStillHeldBy;
  environment.OutputChanged = SOutputChanged;
  for (std::size_t i = 0; i < environment.UpperCase.size(); ++i)
    environment.UpperCase[i] = static_cast<unsigned char>(i);
  OsUpperCaseBuffer(reinterpret_cast<char*>(environment.UpperCase.data()), environment.UpperCase.size());
  environment.RootIgnoresCase = OsFileNamesIgnoreCase();
  return environment;
}

namespace {
/// The filter's values, read from the switch library; the lines the library
/// noticed while reading them (macros that are not set) are kept per switch.
struct TFilterValues {
  std::vector<std::pair<std::string, std::string>> Values;  // DATE, PERSON, AUTHOR, INPUT, OUTPUT, ROOT, LOCKWAIT
  std::vector<std::pair<std::string, std::string>> Noticed;  // switch, line
};

TFilterValues ReadFilterValues() {
  using namespace uQuilletConstants;
  TFilterValues read;
  std::string current;
  ProgramSwitch->SetWarningHandler([&](const std::string& line) { read.Noticed.emplace_back(current, line); });
  try {
    for (const std::string* name :
         {&SDateSwitch, &SPersonSwitch, &SAuthorSwitch, &SInputSwitch, &SOutputSwitch, &SRootSwitch, &SLockWaitSwitch}) {
      current = *name;
      read.Values.emplace_back(*name, ProgramSwitch->GetValue(*name)->AsString());
    }
  } catch (...) {
    ProgramSwitch->SetWarningHandler(WriteWarning);
    throw;
  }
  ProgramSwitch->SetWarningHandler(WriteWarning);
  return read;
}

/// The quotes of the Windows ways of quoting a value: a pair around it
/// (/PERSON="Team lead"), or the closing one of an argument quoted whole
/// ("/PERSON=Team lead"), whose opening one the command line never shows.
std::string WithoutEnclosingQuotes(std::string value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  if (!value.empty() && value.back() == '"' && std::count(value.begin(), value.end(), '"') % 2 != 0) value.pop_back();
  return value;
}

/// The first slip among the arguments and values; nullopt when there is none.
std::optional<TSlip> FindSlip(const std::vector<std::string>& arguments, const TFilterValues& read) {
  using namespace uQuilletConstants;
  if (auto slip = SlipInArguments(arguments)) return slip;
  if (auto slip = SlipOfRepeatedSwitch()) return slip;
  if (!read.Noticed.empty())
    return TSlip{FormatMessage(SMacroNotSetValue, read.Noticed.front().first), read.Noticed.front().second};
  for (const auto& [name, value] : read.Values)
    if (auto slip = SlipInValue(name, value)) return slip;
  return std::nullopt;
}
}  // namespace

int RunFilter(const std::vector<std::string>& arguments) {
  using namespace uQuilletConstants;
  try {
    auto quillet = std::make_unique<TQuillet>(QuilletEnvironment());
    // Every value first, and every slip refused before the engine touches a file.
    TFilterValues read = ReadFilterValues();
    if (const auto slip = FindSlip(arguments, read)) {
      WriteSlip(*slip);
      return 2;
    }
    const std::string& date = read.Values[0].second;
    std::vector<TDateCondition> conditions;
    try {
      conditions = ReadDateConditions(date.empty() ? DateSwitchDefault() : date, SDateFormatUnknown,
                                      SDateOperatorNotValid);
    } catch (const EFailure& failure) {
      WriteSlip(DateSlip(failure.Message(), date));
      return 2;
    }
    // Whole seconds, at most a year's; none given: ten minutes.
    const std::string& lockWaitText = read.Values[6].second;
    const std::optional<long long> lockWait =
        lockWaitText.empty() ? TQuillet::DefaultLockWait : ReadInteger(lockWaitText, 0, 365LL * 86400);
    if (!lockWait) {
      WriteSlip({FormatMessage(SLockWaitNotValid, lockWaitText), FormatMessage(SWarnLockWait, lockWaitText)});
      return 2;
    }
    quillet->SetDateOperator(conditions[0].Operator);
    quillet->SetDate(conditions[0].Date);
    if (conditions.size() > 1) quillet->SetSecondDateCondition(conditions[1].Operator, conditions[1].Date);
    quillet->SetPerson(WithoutEnclosingQuotes(read.Values[1].second));
    quillet->SetAuthor(WithoutEnclosingQuotes(read.Values[2].second));
    quillet->SetRoot(WithoutEnclosingQuotes(read.Values[5].second));
    // On POSIX a "\" in a path stands for "/": the messages show the path so.
    quillet->SetInputFile(OsNativePath(read.Values[3].second));
    quillet->SetOutputFile(OsNativePath(read.Values[4].second));
    quillet->SetLockWait(static_cast<unsigned>(*lockWait));
    quillet->Run();
    return 0;
  } catch (const EFailure& failure) {
    // The engine is gone by now: unique_ptr released it while unwinding.
    OsWriteConsoleLine(failure.Message());
    // A first run without the switches it needs learns where they are listed.
    const std::string& message = failure.Message();
    if (arguments.empty() || message == SInputMissing || message == SOutputMissing || message == SPersonMissing)
      WriteTryHelp();
    return 1;
  }
}
