#include "app/uSlips.h"

#include <algorithm>

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uStringRoutines.h"
#include "app/uQuilletConstants.h"

using namespace uQuilletConstants;

namespace {
std::string programName = "quillet";

TSlip UnknownArgument(const std::string& argument, const std::string& suggestion) {
  std::string hint = FormatMessage(SWarnUnknownSwitch, argument);
  if (!suggestion.empty()) hint += FormatMessage(SWarnDidYouMean, suggestion);
  return {FormatMessage(SArgumentNoSwitch, argument), hint + FormatMessage(SWarnListedByHelp, programName)};
}

bool AsksForSomethingElse(const std::string& argument) {
  return argument == "--help" || argument == "-h" || argument == "--version";
}

/// Where the value of a switch came from, as the lines name it.
std::string SourceName(const std::string& name) {
  switch (ProgramSwitch->SourceOf(name)) {
    case TValueSource::Ini:
      return FormatMessage(SFromIniFile, OsNativePath(ProgramSwitch->IniParameter().FullName()));
    case TValueSource::Registry: {
      std::string key = ProgramSwitch->RegistryParameter().KeyPath() + uProgramSwitchConstant::SParametersSection;
      if (!key.empty() && key[0] == '\\') key.erase(0, 1);
      return FormatMessage(SFromRegistryKey, key);
    }
    case TValueSource::CommandLine:
    case TValueSource::None:
      break;
  }
  return SFromCommandLine;
}
}  // namespace

void SetWarningProgramName(const std::string& name) { programName = name; }

void WriteWarning(const std::string& text) { OsWriteErrorLine(programName + ": " + text); }

void WriteSlip(const TSlip& slip) {
  OsWriteConsoleLine(slip.Failure);
  WriteWarning(slip.Hint);
}

std::optional<TSlip> SlipInArguments(const std::vector<std::string>& arguments) {
  // The command line is read from its first "/" on: what stands before is
  // dropped, and what begins with "-" later is glued to the value before it.
  bool inSwitches = false;
  for (const std::string& argument : arguments) {
    if (AsksForSomethingElse(argument)) continue;
    inSwitches = inSwitches || (!argument.empty() && argument[0] == '/');
    if (!inSwitches || (!argument.empty() && argument[0] == '-'))
      return UnknownArgument(argument, ProgramSwitch->ClosestSwitchName(argument));
  }
  for (const TUnknownItem& item : ProgramSwitch->UnknownCommandItems())
    return UnknownArgument("/" + item.Text, item.Suggestion);
  return std::nullopt;
}

std::optional<TSlip> SlipOfRepeatedSwitch() {
  const auto twice = ProgramSwitch->ConflictingCommandItems();
  if (!twice) return std::nullopt;
  const std::string name = TParameter::ParseItem(twice->first).Name;
  return TSlip{FormatMessage(SSwitchGivenTwice, name),
               FormatMessage(SWarnGivenTwice, {"/" + twice->first, "/" + twice->second})};
}

std::optional<TSlip> SlipInValue(const std::string& name, const std::string& value) {
  const std::string upperValue = UpperCase(value);
  for (int i = 0; i < ProgramSwitch->SwitchCount(); ++i) {
    const std::string other = UpperCase(ProgramSwitch->SwitchName(i));
    for (const char* slash : {" /", " \\"})
      if (Pos(slash + other + "=", upperValue) != 0)
        return TSlip{FormatMessage(SSwitchInValueLine, name),
                     FormatMessage(SWarnSwitchInValue, {name, value, ProgramSwitch->SwitchName(i)})};
  }
  // An odd quote at the very end of a value closes an argument quoted whole
  // ("/INPUT=c:\my logs\cvs.log"); any other belongs to the next argument,
  // glued to this value: /AUTHOR=dev2 "/PERSON=Team lead" typed on Windows.
  const bool closesArgument = value.size() >= 2 && value.back() == '"' && value[value.size() - 2] != ' ';
  if (std::count(value.begin(), value.end(), '"') % 2 != 0 && !closesArgument)
    return TSlip{FormatMessage(SUnbalancedQuote, name), FormatMessage(SWarnUnbalancedQuote, {name, value})};
  // A list of authors without a name would pick every author.
  if (name == SAuthorSwitch && !value.empty() && value.find_first_not_of(", \t") == std::string::npos)
    return TSlip{FormatMessage(SNoAuthorInList, name), FormatMessage(SWarnNoAuthorInList, value)};
  if (value == uProgramSwitchConstant::SNoDefaultValue)
    return TSlip{FormatMessage(SPlaceholderValue, name),
                 FormatMessage(SWarnPlaceholder, {name, value, SourceName(name)})};
  if (ProgramSwitch->SourceOf(name) == TValueSource::Ini) {
    const std::string entry =
        ProgramSwitch->IniParameter().CutEntry(name, uProgramSwitchConstant::SParametersSection);
    if (!entry.empty()) {
      std::string fixed = entry;
      std::replace(fixed.begin(), fixed.end(), '/', '\\');
      return TSlip{FormatMessage(SIniValueCut, name),
                   FormatMessage(SWarnIniValueCut,
                                 {entry, OsNativePath(ProgramSwitch->IniParameter().FullName()), fixed})};
    }
  }
  return std::nullopt;
}

TSlip DateSlip(const std::string& failure, const std::string& text) {
  const std::string picture = ShortDatePicture();
  return {failure, FormatMessage(SWarnDate, {text, picture, FormatShortDate(Today(), picture)})};
}

void WriteTryHelp() { OsWriteErrorLine(FormatMessage(STryHelp, programName)); }
