// POSIX side of uOsIni.h: file access around the portable INI text (uIniText.h).
// A file is parsed once while it stays the same, and writers take turns.
#include "Bibliothek/Plattform/uOsIni.h"

#include "Bibliothek/Plattform/uIniText.h"
#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsIniPosixIo.h"

namespace {

struct TIniFile {
  bool Exists = false;
  TIniText Ini;
};

/// The parsed file; a missing or unreadable file reads as an empty one.
std::shared_ptr<const TIniFile> Load(const std::string& file, bool* readable = nullptr) {
  static TPosixParsedFiles<TIniFile> files;
  std::shared_ptr<const TIniFile> parsed = files.Get(
      OsNativePath(file), [](std::string bytes, bool exists) { return TIniFile{exists, TIniText(std::move(bytes))}; });
  if (readable) *readable = parsed != nullptr;
  if (!parsed) {
    static const auto empty = std::make_shared<const TIniFile>(TIniFile{false, TIniText(std::string())});
    return empty;
  }
  return parsed;
}

}  // namespace

std::vector<std::string> OsIniKeys(const std::string& file, const std::string& section) {
  return Load(file)->Ini.Keys(section);
}

std::shared_ptr<const TIniEntries> OsIniEntries(const std::string& file, const std::string& section) {
  return Load(file)->Ini.Entries(section);
}

std::string OsIniValue(const std::string& file, const std::string& section, const std::string& key) {
  return Load(file)->Ini.Value(section, key);
}

bool OsIniWrite(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value) {
  if (!IniEntryStorable(section, key, value)) return false;
  const TPosixFileWriteLock lock(OsNativePath(file));
  if (!lock.Held()) return false;
  bool readable = false;
  const std::shared_ptr<const TIniFile> loaded = Load(file, &readable);
  if (!readable) return false;
  const std::string result = loaded->Ini.Stored(section, key, value);
  if (loaded->Exists && result == loaded->Ini.Text()) return true;
  return PosixReplaceFile(OsNativePath(file), result);
}

void OsIniFlush(const std::string&) {}

bool OsIniValuesHoldSlashes() { return true; }
