#include "app/uSettingsWarnings.h"

#include <cctype>
#include <initializer_list>

#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uStringRoutines.h"
#include "app/uQuilletConstants.h"
#include "filter/uDateConditions.h"

using namespace uQuilletConstants;

namespace {
std::string programName = "quillet";

/// The pattern with its "%s" replaced by the arguments in turn.
std::string Format(const std::string& pattern, std::initializer_list<std::string> arguments) {
  std::string result;
  std::size_t from = 0;
  for (const std::string& argument : arguments) {
    const std::size_t at = pattern.find("%s", from);
    if (at == std::string::npos) break;
    result.append(pattern, from, at - from);
    result += argument;
    from = at + 2;
  }
  return result + pattern.substr(from);
}

std::string UnknownSwitchLine(const std::string& argument, const std::string& suggestion) {
  std::string line = Format(SWarnUnknownSwitch, {argument});
  if (!suggestion.empty()) line += Format(SWarnDidYouMean, {suggestion});
  return line + Format(SWarnListedByHelp, {programName});
}

std::string LowerCaseAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}
}  // namespace

void SetWarningProgramName(const std::string& name) { programName = name; }

void WriteWarning(const std::string& text) { OsWriteErrorLine(programName + ": " + text); }

void WarnAboutArguments(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h" || argument == "--version") continue;
    // The command line is read from its first "/" on; what stands before is dropped.
    if (!argument.empty() && argument[0] == '/') break;
    WriteWarning(UnknownSwitchLine(argument, ProgramSwitch->ClosestSwitchName(argument)));
  }
  for (const TUnknownItem& item : ProgramSwitch->UnknownCommandItems())
    WriteWarning(UnknownSwitchLine("/" + item.Text, item.Suggestion));
}

bool WarnAboutSwitchInValue(const std::string& name, const std::string& value) {
  for (int i = 0; i < ProgramSwitch->SwitchCount(); ++i) {
    const std::string other = UpperCase(ProgramSwitch->SwitchName(i));
    for (const char* slash : {" /", " \\"})
      if (Pos(slash + other + "=", UpperCase(value)) != 0) {
        WriteWarning(Format(SWarnSwitchInValue, {name, value, ProgramSwitch->SwitchName(i)}));
        return true;
      }
  }
  return false;
}

void WarnAboutPlaceholder(const std::string& name, const std::string& value) {
  if (value != uProgramSwitchConstant::SNoDefaultValue) return;
  std::string from;
  switch (ProgramSwitch->SourceOf(name)) {
    case TValueSource::Ini:
      from = Format(SFromIniFile, {OsNativePath(ProgramSwitch->IniParameter().FullName())});
      break;
    case TValueSource::Registry: {
      std::string key = ProgramSwitch->RegistryParameter().KeyPath() + uProgramSwitchConstant::SParametersSection;
      if (!key.empty() && key[0] == '\\') key.erase(0, 1);
      from = Format(SFromRegistryKey, {key});
      break;
    }
    case TValueSource::CommandLine:
    case TValueSource::None:
      from = SFromCommandLine;
      break;
  }
  WriteWarning(Format(SWarnPlaceholder, {name, value, from}));
}

void WarnAboutDateOperator(const std::string& text) {
  bool otherLetters = false;
  const int operators = CountDateOperators(text, otherLetters);
  if (operators == 1 && !otherLetters) return;
  if (operators == 0 && !otherLetters) return;  // a bare date: .eq, as meant
  // What the reading makes of it: the operator found, then the date characters.
  std::string read = LowerCaseAscii(DateOperatorText(ExtractDateOperator(text)));
  std::string date;
  for (char c : text)
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == ',' || c == '.') date += c;
  while (!date.empty() && date[0] == '.') date.erase(0, 1);
  WriteWarning(Format(operators == 0 ? SWarnNoOperator : SWarnMoreThanOperator, {text, read + date}));
}

void WriteTryHelp() { OsWriteErrorLine(Format(STryHelp, {programName})); }
