#include "Bibliothek/Schalter/uProgramSwitch.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <limits>
#include <new>
#include <tuple>
#include <unordered_map>

#include "Bibliothek/Plattform/uOsProcess.h"
#include "Bibliothek/Plattform/uOsRegistry.h"
#include "Bibliothek/Plattform/uOsWindow.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uFileRoutines.h"
#include "Bibliothek/uStringRoutines.h"

using namespace uProgramSwitchConstant;

sofProgramSwitch* ProgramSwitch = nullptr;

namespace {
std::optional<std::string> testCommandLine;
std::optional<std::string> testExecutablePath;

std::string ProcessCommandLine() { return testCommandLine ? *testCommandLine : OsCommandLine(); }
std::string ProcessExecutablePath() {
  return testExecutablePath ? *testExecutablePath : OsExecutablePath();
}

/// True when the text holds a "%" with another "%" after it.
bool HasMacroReference(const std::string& text) {
  const auto first = text.find('%');
  return first != std::string::npos && text.find('%', first + 1) != std::string::npos;
}



/// Edits (insert, delete, change, swap two neighbours) that turn `a` into `b`.
std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

[[noreturn]] void ConversionFailed(const std::string& message, const std::string& value) {
  throw EFailure(SFormatNotValid + FormatMessage(message, value));
}
}  // namespace

// --- values ---------------------------------------------------------------------

std::string TBasisParameter::AsString() const { return FValue; }

std::int32_t TBasisParameter::AsInteger() const {
  const auto value = ReadInteger(Trim(FValue), std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max(), true);
  if (!value) ConversionFailed(SNotAnInteger, FValue);
  return static_cast<std::int32_t>(*value);
}

double TBasisParameter::AsFloat() const {
  const std::string text = Trim(FValue);
  // Only sign, digits, exponent and the decimal point in force: strtod alone
  // would also take "inf", "nan" and hexadecimal numbers.
  const char* point = std::localeconv()->decimal_point;
  const char decimalPoint = (point && *point) ? *point : '.';
  bool hasDigit = false;
  for (const char c : text) {
    if (c >= '0' && c <= '9')
      hasDigit = true;
    else if (c != '+' && c != '-' && c != 'e' && c != 'E' && c != decimalPoint)
      ConversionFailed(SNotAFloat, FValue);
  }
  if (!hasDigit) ConversionFailed(SNotAFloat, FValue);
  char* end = nullptr;
  errno = 0;
  const double result = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || (errno == ERANGE && result != 0.0))
    ConversionFailed(SNotAFloat, FValue);
  return result;
}

bool TBasisParameter::AsBoolean() const { return FValue == "+"; }

std::string TNULLParameter::AsString() const { return std::string(); }
std::int32_t TNULLParameter::AsInteger() const { return 0; }
double TNULLParameter::AsFloat() const { return 0.0; }
bool TNULLParameter::AsBoolean() const { return false; }

// --- the registry -----------------------------------------------------------------

void sofProgramSwitch::SetTestProcess(std::optional<std::string> commandLine,
                                      std::optional<std::string> executablePath) {
  testCommandLine = std::move(commandLine);
  testExecutablePath = std::move(executablePath);
}

void sofProgramSwitch::InitSingleton() {
  FRegistryOn = FIniOn = FCommandOn = true;
  const std::string executablePath = ProcessExecutablePath();
  FNullParameter = std::make_unique<TNULLParameter>();
  FCommandParameter = std::make_unique<TCommandParameter>(ProcessCommandLine());
  FIniParameter = std::make_unique<TINIParameter>(executablePath);
  FRegistryParameter =
      std::make_unique<TRegistryParameter>(SRegistryBasePath + ApplicationTitle(executablePath) + "\\");

  ReadSourceSwitches();

  // INIPATH must not move the place from which INIFILE is read: INIFILE is
  // read in the executable's folder, and the new folder applies afterwards.
  const std::string defaultFolder = FIniParameter->Folder();
  std::optional<std::string> newFolder;
  if (FIniOn) {
    ReadPathSwitch(TPathSwitch::IniPath);
    if (FIniParameter->Folder() != defaultFolder) {
      newFolder = FIniParameter->Folder();
      FIniParameter->SetFolder(defaultFolder);
    }
  }
  if (FIniOn) {
    ReadPathSwitch(TPathSwitch::IniFile);
    if (newFolder) FIniParameter->SetFolder(*newFolder);
  }
  if (FRegistryOn) ReadPathSwitch(TPathSwitch::RegPath);
}

void sofProgramSwitch::DoneSingleton() {
  // Also runs after a failed InitSingleton: every step copes with a part that was never made.
  ClearLists();
  FNullParameter.reset();
  FCommandParameter.reset();
  FIniParameter.reset();
  FRegistryParameter.reset();
}

void sofProgramSwitch::ReadSourceSwitches() {
  // All three are read while all three sources are still on.
  const bool registryOff = GetValue(SRegOffSwitch)->AsBoolean();
  const bool iniOff = GetValue(SIniOffSwitch)->AsBoolean();
  const bool commandOff = GetValue(SCmdOffSwitch)->AsBoolean();
  FRegistryOn = !registryOff;
  FIniOn = !iniOff;
  FCommandOn = !commandOff;
  ClearLists();
}

void sofProgramSwitch::ReadPathSwitch(TPathSwitch which) {
  const std::string& name = which == TPathSwitch::IniPath   ? SIniPathSwitch
                            : which == TPathSwitch::IniFile ? SIniFileSwitch
                                                            : SRegPathSwitch;
  const std::pair<bool, TParameter*> sources[] = {{FRegistryOn, FRegistryParameter.get()},
                                                  {FIniOn, FIniParameter.get()},
                                                  {FCommandOn, FCommandParameter.get()}};
  // Each answer applies at once, so a later source is read at the place an earlier one set.
  for (const auto& [on, source] : sources) {
    source->SetSection(SParametersSection);
    source->SetName(name);
    if (!on) continue;
    const std::string answer = source->ReadValue();
    if (!answer.empty()) ApplyPathSwitch(which, answer);
  }
}

void sofProgramSwitch::ApplyPathSwitch(TPathSwitch which, const std::string& answer) {
  switch (which) {
    case TPathSwitch::IniPath:
      FIniParameter->SetFolder(answer + "\\");
      break;
    case TPathSwitch::IniFile:
      FIniParameter->SetFileName(Pos(".ini", answer) != 0 ? answer : answer + ".ini");
      break;
    case TPathSwitch::RegPath:
      FRegistryParameter->SetKeyPath(answer + "\\");
      break;
  }
}

void sofProgramSwitch::ClearLists() {
  FValues.clear();
  FSwitches.clear();
  FHiddenSwitches.clear();
}

void sofProgramSwitch::Register(const std::string& name, const std::string& optionHint,
                                const std::string& defaultValue, const std::string& description) {
  const std::string key = "/" + name;
  for (const auto& entry : FSwitches)
    if (SameText(entry.first, key)) throw EFailure(FormatMessage(SMultipleRegistries, name));
  FSwitches.emplace_back(key, TSwitchTexts{optionHint, defaultValue, description});
}

void sofProgramSwitch::RegisterHidden(const std::string& name, const std::string& optionHint,
                                      const std::string& defaultValue, const std::string& description) {
  // A switch both visible and hidden would be listed and exported twice.
  const std::string key = "/" + name;
  for (const TSwitchList* list : {&FSwitches, &FHiddenSwitches})
    for (const auto& entry : *list)
      if (SameText(entry.first, key)) throw EFailure(FormatMessage(SMultipleRegistries, name));
  FHiddenSwitches.emplace_back(key, TSwitchTexts{optionHint, defaultValue, description});
}

TBasisParameter* sofProgramSwitch::GetValue(const std::string& name, const std::string& section,
                                            const std::string& defaultValue) {
  const std::string sectionUsed = section.empty() ? SParametersSection : section;
  const std::string value = ExpandMacros(GetSourceValue(name, sectionUsed), name);
  if (value.empty() && defaultValue.empty()) return FNullParameter.get();

  std::string key(1, '[');
  key += UpperCase(sectionUsed);
  key += "].";
  key += UpperCase(name);
  for (auto it = FValues.begin(); it != FValues.end(); ++it)
    if (SameText(it->first, key)) {
      FValues.erase(it);
      break;
    }
  FValues.emplace_back(key, std::make_unique<TBasisParameter>(value.empty() ? defaultValue : value));
  return FValues.back().second.get();
}

std::string sofProgramSwitch::GetSourceValue(const std::string& name, const std::string& section) {
  std::string result;
  const std::pair<bool, TParameter*> sources[] = {{FRegistryOn, FRegistryParameter.get()},
                                                  {FIniOn, FIniParameter.get()},
                                                  {FCommandOn, FCommandParameter.get()}};
  for (const auto& [on, source] : sources) {
    if (!on) continue;
    source->SetName(name);
    source->SetSection(section);
    std::string answer = source->ReadValue();
    if (!answer.empty()) result = std::move(answer);
  }
  return result;
}

std::string sofProgramSwitch::ExpandMacros(std::string value, const std::string& switchName) {
  if (!HasMacroReference(value)) return value;
  // A macro that refers to itself several times doubles the text with every
  // pass; no switch value comes near this length, so passing it is a mistake
  // worth telling, and it keeps every run fast.
  constexpr std::size_t maxExpanded = 1 << 16;
  // The sources answer the same within one expansion; asking once per macro
  // keeps many references cheap.
  std::unordered_map<std::string, std::string> known;
  for (int pass = 1; pass <= 10; ++pass) {
    // One pass replaces every reference of the pass's text where it stands,
    // so that a macro value inserted in this pass is expanded by the next one.
    std::string expanded;
    std::size_t from = 0;
    for (;;) {
      const auto open = value.find('%', from);
      if (open == std::string::npos) break;
      const auto close = value.find('%', open + 1);
      if (close == std::string::npos) break;
      const std::string macro = value.substr(open + 1, close - open - 1);
      auto cached = known.find(macro);
      if (cached == known.end()) cached = known.emplace(macro, GetSourceValue(macro, SMacrosSection)).first;
      if (cached->second.empty()) {
        if (FWarningHandler) FWarningHandler(FormatMessage(SMacroNotSet, {switchName, "%" + macro + "%"}));
        return std::string();
      }
      expanded.append(value, from, open - from);
      if (expanded.size() + cached->second.size() + (value.size() - close - 1) > maxExpanded)
        throw EFailure(FormatMessage(SMacrosTooLong, switchName));
      expanded += cached->second;
      from = close + 1;
    }
    expanded.append(value, from, std::string::npos);
    value = std::move(expanded);
    if (!HasMacroReference(value)) return value;
  }
  return std::string();
}

TValueSource sofProgramSwitch::SourceOf(const std::string& name, const std::string& section) {
  const std::string sectionUsed = section.empty() ? SParametersSection : section;
  TValueSource result = TValueSource::None;
  const std::tuple<bool, TParameter*, TValueSource> sources[] = {
      {FRegistryOn, FRegistryParameter.get(), TValueSource::Registry},
      {FIniOn, FIniParameter.get(), TValueSource::Ini},
      {FCommandOn, FCommandParameter.get(), TValueSource::CommandLine}};
  for (const auto& [on, source, kind] : sources) {
    if (!on) continue;
    source->SetName(name);
    source->SetSection(sectionUsed);
    if (!source->ReadValue().empty()) result = kind;
  }
  return result;
}

std::vector<TUnknownItem> sofProgramSwitch::UnknownCommandItems() {
  std::vector<TUnknownItem> unknown;
  for (const TCommandParameter::TItem& item : FCommandParameter->Items()) {
    const TParameterItem& read = item.Read;
    if (item.Matched || read.Name.empty() || read.Name == SHelpSwitch) continue;
    if (read.Section != SParametersSection &&
        (read.Section == SMacrosSection || FCommandParameter->SectionAsked(read.Section)))
      continue;
    bool registered = false;
    const std::string suggestion = Closest(read.Section, read.Name, registered);
    if (!registered) unknown.push_back({item.Text, suggestion});
  }
  return unknown;
}

std::string sofProgramSwitch::Closest(const std::string& section, const std::string& name,
                                      bool& registered) const {
  registered = false;
  std::string suggestion;
  std::size_t best = std::string::npos;
  for (const TSwitchList* list : {&FSwitches, &FHiddenSwitches})
    for (const auto& entry : *list) {
      if (UpperCase(SectionOfKey(entry.first)) != section) continue;
      const std::string candidate = NameOfKey(entry.first);
      const std::size_t distance = EditDistance(name, UpperCase(candidate));
      registered = registered || distance == 0;
      // Close means a slip of a letter or two, not another word.
      if (distance < best && distance <= 2 && distance * 2 < candidate.size()) {
        best = distance;
        suggestion = candidate;
      }
    }
  return suggestion;
}

std::optional<std::pair<std::string, std::string>> sofProgramSwitch::ConflictingCommandItems() {
  // The first item of each name, by section and name.
  std::unordered_map<std::string, const TCommandParameter::TItem*> first;
  for (const TCommandParameter::TItem& item : FCommandParameter->Items()) {
    const TParameterItem& read = item.Read;
    if (read.Name.empty() || read.Name == SHelpSwitch) continue;
    const auto [at, isFirst] = first.emplace(read.Section + "]" + read.Name, &item);
    if (!isFirst && at->second->Read.Value != read.Value) return std::make_pair(at->second->Text, item.Text);
  }
  return std::nullopt;
}

std::string sofProgramSwitch::ClosestSwitchName(const std::string& word) const {
  std::string name = word;
  while (!name.empty() && (name[0] == '-' || name[0] == '/')) name.erase(0, 1);
  name = UpperCase(Trim(name.substr(0, name.find_first_of("=+-"))));
  if (name.empty()) return std::string();
  bool registered = false;
  return Closest(SParametersSection, name, registered);
}

std::string sofProgramSwitch::NameOfKey(const std::string& key) {
  std::string name = key;
  const int close = Pos("]", name);
  if (close != 0)
    Delete(name, 1, close + 1);
  else
    Delete(name, 1, 1);
  return Trim(name);
}

std::string sofProgramSwitch::SectionOfKey(const std::string& key) {
  if (Pos("]", key) == 0) return SParametersSection;
  std::string section = Trim(WordAt(key, CharSet("]"), 1));
  const int open = Pos("[", section);
  if (open != 0) Delete(section, 1, open);
  return Trim(section);
}

// --- module -----------------------------------------------------------------------

std::string ApplicationTitle(const std::string& executablePath) {
  std::string title = executablePath.substr(FileNameStart(executablePath));
  const int dot = Pos(".", title);
  if (dot != 0) title = Copy(title, 1, dot - 1);
  // The platform offers upper-casing only; the letters of an executable's name are plain ASCII in practice.
  for (std::size_t i = 1; i < title.size(); ++i)
    title[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(title[i])));
  return title;
}

std::string IniPathDefault(const std::string& executablePath) {
  const int at = PosNoCase(ApplicationTitle(executablePath) + ".exe", executablePath);
  if (at != 0) return DeleteCopy(executablePath, at, Length(executablePath));
  // No "<title>.exe" in the path (a POSIX executable, or a name with a second
  // "."): the whole path would name the executable itself as the INI folder,
  // and an exported INI file would then move itself out of reach.
  return executablePath.substr(0, FileNameStart(executablePath));
}

void StartupProgramSwitch() {
  ProgramSwitch = sofProgramSwitch::Create();
  const std::string executablePath = ProcessExecutablePath();
  const std::string title = ApplicationTitle(executablePath);
  try {
    ProgramSwitch->Register(SRegOffSwitch, SSourceOffHint, SSourceOffDefault, SRegOffDescription);
    ProgramSwitch->Register(SIniOffSwitch, SSourceOffHint, SSourceOffDefault, SIniOffDescription);
    ProgramSwitch->Register(SCmdOffSwitch, SSourceOffHint, SSourceOffDefault, SCmdOffDescription);
    ProgramSwitch->Register(SRegPathSwitch, SRegPathHint, SRegistryBasePath + title + "\\",
                            SRegPathDescription);
    ProgramSwitch->Register(SIniPathSwitch, SIniPathHint, IniPathDefault(executablePath),
                            SIniPathDescription);
    ProgramSwitch->Register(SIniFileSwitch, SIniFileHint, title + ".ini", SIniFileDescription);
    ProgramSwitch->Register(SWriteIniSwitch, SWriteHint, SNoDefaultValue, SWriteIniDescription);
    ProgramSwitch->Register(SWriteRegSwitch, SWriteHint, SNoDefaultValue, SWriteRegDescription);
    ProgramSwitch->Register(SShowHiddenSwitch, SShowHiddenHint, SShowHiddenDefault,
                            SShowHiddenDescription);
  } catch (const EFailure& failure) {
    OsShowErrorBox(SErrorTitle, failure.Message());
  }
}

void ShutdownProgramSwitch() {
  if (ProgramSwitch) ProgramSwitch->Release();
  ProgramSwitch = nullptr;
}
