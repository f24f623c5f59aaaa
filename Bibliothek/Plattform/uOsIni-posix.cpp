// POSIX side of uOsIni.h: file access around the portable INI text (uIniText.h).
// A file is parsed once while it stays the same, and writers take turns.
#include "Bibliothek/Plattform/uOsIni.h"

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsIniPosixIo.h"
#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/Textformate/uIniText.h"

namespace {

struct TIniFile {
  bool Exists = false;
  TIniText Ini;
};

/// The parsed file; a missing, unreadable or refused file reads as an empty one.
std::shared_ptr<const TIniFile> Load(const std::string& file, bool* readable = nullptr,
                                     TOsSettingsRefusal* refusal = nullptr) {
  static TPosixParsedFiles<TIniFile> files;
  TOsSettingsRefusal why = TOsSettingsRefusal::None;
  std::shared_ptr<const TIniFile> parsed = files.Get(
      OsNativePath(file),
      [](std::string bytes, bool exists) { return TIniFile{exists, TIniText(std::move(bytes), OsUpperCaseBuffer)}; },
      why);
  if (refusal) *refusal = why;
  if (readable) *readable = parsed != nullptr;
  if (!parsed) {
    static const auto empty =
        std::make_shared<const TIniFile>(TIniFile{false, TIniText(std::string(), OsUpperCaseBuffer)});
    return empty;
  }
  return parsed;
}

}  // namespace

std::vector<std::string> OsIniKeys(const std::string& file, const std::string& section) {
  return Load(file)->Ini.Keys(section);
}

std::shared_ptr<const TIniEntries> OsIniEntries(const std::string& file, const std::string& section,
                                                TOsSettingsRefusal* refusal) {
  return Load(file, nullptr, refusal)->Ini.Entries(section);
}

std::string OsIniValue(const std::string& file, const std::string& section, const std::string& key) {
  return Load(file)->Ini.Value(section, key);
}

bool OsIniWrite(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value, TOsSettingsRefusal* refusal) {
  if (!IniEntryStorable(section, key, value)) return false;
  // The lock and the replacement go to the file the name leads to, found
  // before anything is made beside it.
  TOsSettingsRefusal why = TOsSettingsRefusal::None;
  const std::string final = PosixSettingsPath(OsNativePath(file), why);
  if (refusal) *refusal = why;
  if (why != TOsSettingsRefusal::None) return false;
  const TOsFileWriteLock lock(final);
  if (!lock.Held()) return false;
  bool readable = false;
  const std::shared_ptr<const TIniFile> loaded = Load(file, &readable, refusal);
  if (!readable) return false;
  const std::string result = loaded->Ini.Stored(section, key, value);
  if (loaded->Exists && result == loaded->Ini.Text()) return true;
  return PosixReplaceFile(final, result);
}

void OsIniFlush(const std::string&) {}

bool OsIniValuesHoldSlashes() { return true; }
