#include "Bibliothek/Schalter/uParameterSources.h"

#include <algorithm>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsRegistry.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uStringRoutines.h"

using namespace uProgramSwitchConstant;

namespace {
// A settings file that the platform refused to read fails the run: read as
// empty, it would change which report is written.
void failIfRefused(TOsSettingsRefusal refusal, const std::string& file) {
  switch (refusal) {
    case TOsSettingsRefusal::None:
      return;
    case TOsSettingsRefusal::NotAFile:
      throw EFailure(FormatMessage(SSettingsNotAFile, file));
    case TOsSettingsRefusal::TooLarge:
      throw EFailure(FormatMessage(SSettingsTooLarge, file));
    case TOsSettingsRefusal::ForeignLink:
      throw EFailure(FormatMessage(SSettingsForeignLink, file));
  }
}
}  // namespace

std::size_t FileNameStart(const std::string& path) {
  std::size_t start = path.size();
  while (start > 0 && path[start - 1] != '\\' && path[start - 1] != '/') --start;
  return start;
}

TParameterItem TParameter::ParseItem(const std::string& itemText) {
  TParameterItem item;
  std::string rest = Trim(itemText);
  const int close = Pos("]", rest);
  if (close == 0) {
    item.Section = SParametersSection;
  } else if (rest[0] == '[') {
    item.Section = UpperCase(Trim(Copy(rest, 2, close - 2)));
    // Drops [SECTION] and the "." behind it.
    Delete(rest, 1, close + 1);
    rest = Trim(rest);
  } else if (Pos("[", rest) != 0) {
    // A stray "]" before any "[": a section no caller asks for.
    std::string word = WordAt(rest, CharSet("["), 2);
    Delete(word, Length(word), 1);
    item.Section = UpperCase(Trim(word));
  }
  item.Name = UpperCase(Trim(WordAt(rest, CharSet("+-="), 1)));
  item.Value = Trim(DeleteCopy(rest, 1, Length(item.Name)));
  if (!item.Value.empty() && item.Value[0] == '=') item.Value = Trim(DeleteCopy(item.Value, 1, 1));
  if (item.Name == SHelpSwitch) item.Value = std::string(1, '+');
  return item;
}

std::string TParameter::ReadValue() {
  // Section and name with the section's length first, so that no pair reads as another.
  auto id = [](const std::string& section, const std::string& name) {
    return std::to_string(section.size()) + ":" + section + name;
  };
  std::string text = ReadSource();
  auto indexed = FIndexes.find(text);
  if (indexed == FIndexes.end()) {
    if (FIndexes.size() >= 8) FIndexes.clear();  // a source that keeps changing holds no more than a few
    std::unordered_map<std::string, std::string> index;
    const std::string items = Trim(text);
    for (std::size_t pos = 0; pos < items.size();) {
      const std::size_t end = std::min(items.find('/', pos), items.size());
      if (end > pos) {
        TParameterItem item = ParseItem(items.substr(pos, end - pos));
        index.emplace(id(item.Section, item.Name), std::move(item.Value));
      }
      pos = end + 1;
    }
    indexed = FIndexes.emplace(std::move(text), std::move(index)).first;
  }
  const auto found = indexed->second.find(id(UpperCase(FSection), UpperCase(FName)));
  return found == indexed->second.end() ? std::string() : found->second;
}

std::string TCommandParameter::ReadValue() {
  const std::string section = UpperCase(FSection);
  const std::string name = UpperCase(FName);
  if (std::find(FAskedSections.begin(), FAskedSections.end(), section) == FAskedSections.end())
    FAskedSections.push_back(section);
  Items();
  for (TItem& item : *FItems)
    if (item.Read.Section == section && item.Read.Name == name) {
      item.Matched = true;
      return item.Read.Value;
    }
  return std::string();
}

const std::vector<TCommandParameter::TItem>& TCommandParameter::Items() {
  // The command line never changes: it is cut into items once.
  if (!FItems) {
    FItems.emplace();
    const std::string text = ReadSource();
    for (std::size_t start = 0; start < text.size();) {
      std::size_t end = text.find('/', start);
      if (end == std::string::npos) end = text.size();
      const std::string item = Trim(text.substr(start, end - start));
      if (end > start) FItems->push_back({item, ParseItem(item), false});
      start = end + 1;
    }
  }
  return *FItems;
}

bool TCommandParameter::SectionAsked(const std::string& section) const {
  return std::find(FAskedSections.begin(), FAskedSections.end(), section) != FAskedSections.end();
}

std::string TCommandParameter::ReadSource() {
  const int first = Pos("/", FCommandLine);
  if (first == 0) return std::string();
  return Copy(FCommandLine, first, Length(FCommandLine));
}

TINIParameter::TINIParameter(const std::string& executablePath) {
  try {
    const std::size_t nameStart = FileNameStart(executablePath);
    if (nameStart == executablePath.size()) throw EFailure(SNoExecutablePath);
    FFolder = executablePath.substr(0, nameStart);
    FFileName = executablePath.substr(nameStart);
    const auto dot = FFileName.rfind('.');
    if (dot != std::string::npos) FFileName.erase(dot);
    FFileName += ".ini";
  } catch (const EFailure& failure) {
    throw EFailure(SIniFileNotFound + failure.Message());
  }
}

std::string TINIParameter::ReadSource() {
  std::string text;
  if (!FSection.empty()) {
    const std::string file = FullName();
    // Keys and values from one reading of the file, not one reading per key.
    TOsSettingsRefusal refusal = TOsSettingsRefusal::None;
    std::shared_ptr<const TIniEntries> entries = OsIniEntries(file, FSection, &refusal);
    failIfRefused(refusal, OsNativePath(file));
    if (entries != FLastEntries) {
      FLastText.clear();
      for (const auto& [key, value] : *entries) FLastText.append("/").append(key).append("=").append(value);
      FLastEntries = std::move(entries);
    }
    text = FLastText;
  }
  // The items carry no section of their own: they match under PARAMETERS.
  FSection = SParametersSection;
  return text;
}

std::string TINIParameter::ReadValue() {
  if (!OsIniValuesHoldSlashes()) return TParameter::ReadValue();
  std::string value;
  if (!FSection.empty()) {
    TOsSettingsRefusal refusal = TOsSettingsRefusal::None;
    std::shared_ptr<const TIniEntries> entries = OsIniEntries(FullName(), FSection, &refusal);
    failIfRefused(refusal, OsNativePath(FullName()));
    if (entries != FWholeEntries) {
      FWholeIndex.clear();
      for (const auto& [key, text] : *entries) {
        TParameterItem item = ParseItem(key + "=" + text);
        if (item.Section == SParametersSection) FWholeIndex.emplace(item.Name, std::move(item.Value));
      }
      FWholeEntries = std::move(entries);
    }
    if (const auto found = FWholeIndex.find(UpperCase(FName)); found != FWholeIndex.end()) value = found->second;
  }
  FSection = SParametersSection;
  return value;
}

std::string TINIParameter::CutEntry(const std::string& name, const std::string& section) const {
  if (OsIniValuesHoldSlashes()) return std::string();
  const std::string wanted = UpperCase(name);
  const std::shared_ptr<const TIniEntries> entries = OsIniEntries(FullName(), section);
  for (const auto& [key, text] : *entries) {
    const std::size_t slash = text.find('/');
    const TParameterItem item = ParseItem(key + "=" + text.substr(0, slash));
    if (item.Section != SParametersSection || item.Name != wanted) continue;
    return slash == std::string::npos ? std::string() : key + "=" + text;
  }
  return std::string();
}

std::string TRegistryParameter::ReadSource() {
  // The path counts from the root whether or not it begins with a backslash.
  std::string keyPath = FKeyPath + FSection;
  if (!keyPath.empty() && keyPath[0] == '\\') keyPath.erase(0, 1);
  TOsSettingsRefusal refusal = TOsSettingsRefusal::None;
  const auto value = OsRegReadValue(keyPath, FName, &refusal);
  failIfRefused(refusal, OsRegistryFilePath());
  if (!value) return std::string();
  if (value->Type == TRegType::Other) throw EFailure(FormatMessage(SInvalidDataType, FName));
  return value->Data;
}

std::string TRegistryParameter::ReadValue() { return ReadSource(); }
