// The export of the switch set (uSwitchExport.h): the members of
// sofProgramSwitch that choose the switches and write them.
#include "Bibliothek/Schalter/uSwitchExport.h"

#include <algorithm>
#include <new>
#include <vector>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsIni.h"
#include "Bibliothek/Plattform/uOsRegistry.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uFileRoutines.h"
#include "Bibliothek/uStringRoutines.h"

using namespace uProgramSwitchConstant;

void sofProgramSwitch::ExportSwitches(std::string selector, const TExportWriter& write) {
  const auto exportSwitch = [&](const std::string& section, const std::string& name, const TSwitchTexts& texts) {
    if (!SameText(selector, "ALL")) {
      // "[Parameters]" becomes "Parameters" at the first switch and stays so.
      if (Pos("[", selector) != 0) {
        Delete(selector, 1, 1);
        selector = Trim(selector);
        Delete(selector, Length(selector), 1);
        selector = Trim(selector);
      }
      if (!SameText(selector, section)) return;
    }
    const auto exportValue = FExportValues.find(UpperCase(name));
    write(section, name, exportValue == FExportValues.end() ? texts[1] : exportValue->second);
  };
  for (int i = 0; i < HiddenSwitchCount(); ++i) {
    if (SameText(GetValue(SShowHiddenSwitch, std::string(), SShowHiddenDefault)->AsString(), SShowHiddenDefault))
      break;
    exportSwitch(HiddenSwitchSection(i), HiddenSwitchName(i), HiddenSwitchEntry(i));
  }
  for (int i = 0; i < SwitchCount(); ++i) exportSwitch(SwitchSection(i), SwitchName(i), SwitchEntry(i));
}

void sofProgramSwitch::SetExportValue(const std::string& name, const std::string& value) {
  FExportValues[UpperCase(name)] = value;
}

bool sofProgramSwitch::SelectorChoosesAny(const std::string& selector, std::string& sections) {
  std::vector<std::string> seen;
  bool chosen = false;
  ExportSwitches(selector, [&](const std::string&, const std::string&, const std::string&) { chosen = true; });
  for (int i = 0; i < SwitchCount(); ++i)
    if (std::find(seen.begin(), seen.end(), SwitchSection(i)) == seen.end()) seen.push_back(SwitchSection(i));
  sections.clear();
  for (const std::string& section : seen) sections += (sections.empty() ? "" : ", ") + ("[" + section + "]");
  return chosen;
}

void sofProgramSwitch::ReportKept(int kept, const std::string& place) const {
  if (kept > 0 && FWarningHandler) FWarningHandler(FormatMessage(SExportKept, {std::to_string(kept), place}));
}

bool TSettingsStore::IniHasValue(const std::string& file, const std::string& section, const std::string& key) {
  return !OsIniValue(file, section, key).empty();
}

bool TSettingsStore::RegHasValue(const std::string& keyPath, const std::string& name) {
  const auto value = OsRegReadValue(keyPath, name);
  return value && !value->Data.empty();
}

namespace {
class TRealSettingsStore : public TSettingsStore {
public:
  bool IniWrite(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value) override {
    return OsIniWrite(file, section, key, value);
  }
  void IniFlush(const std::string& file) override { OsIniFlush(file); }
  bool RegWriteString(const std::string& keyPath, const std::string& name, const std::string& value) override {
    return OsRegWriteString(keyPath, name, value);
  }
};
}  // namespace

TSettingsStore& RealSettingsStore() {
  static TRealSettingsStore store;
  return store;
}

void sofProgramSwitch::WriteIni(TSettingsStore& store, TFileSystem& files) {
  const std::string selector = GetValue(SWriteIniSwitch)->AsString();
  const std::string file = FIniParameter->FullName();
  try {
    ForceDirectoryPath(FIniParameter->Folder(), files);
    int kept = 0;
    ExportSwitches(selector, [&](const std::string& section, const std::string& name, const std::string& value) {
      if (store.IniHasValue(file, section, name)) {
        ++kept;
        return;
      }
      if (!store.IniWrite(file, section, name, value)) throw EFailure(FormatMessage(SCannotWriteIni, file));
    });
    ReportKept(kept, OsNativePath(file));
  } catch (const std::bad_alloc&) {
    // Like any other failure: the error box, exit code 1, the file flushed.
    store.IniFlush(file);
    throw EFailure(SOutOfMemory);
  } catch (...) {
    store.IniFlush(file);
    throw;
  }
  store.IniFlush(file);
}

void sofProgramSwitch::WriteReg(TSettingsStore& store) {
  try {
    int kept = 0;
    std::string place;
    ExportSwitches(GetValue(SWriteRegSwitch)->AsString(),
                   [&](const std::string& section, const std::string& name, const std::string& value) {
                     // From the root of HKEY_CURRENT_USER, with or without a leading backslash.
                     std::string keyPath = FRegistryParameter->KeyPath() + section;
                     if (!keyPath.empty() && keyPath[0] == '\\') keyPath.erase(0, 1);
                     place = "HKEY_CURRENT_USER\\" + keyPath;
                     if (store.RegHasValue(keyPath, name)) {
                       ++kept;
                       return;
                     }
                     if (!store.RegWriteString(keyPath, name, value))
                       throw EFailure(FormatMessage(SCannotSetRegData, name));
                   });
    ReportKept(kept, place);
  } catch (const std::bad_alloc&) {
    throw EFailure(SOutOfMemory);
  }
}
