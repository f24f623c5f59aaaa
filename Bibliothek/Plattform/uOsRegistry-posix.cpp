// POSIX side of uOsRegistry.h: the current user's registry as one text file in
// the format of regedit exports (uRegistryText.h), in the locale's character
// set. Parsed once while it stays the same (the switch library asks on every
// look-up); written by replacing the file atomically, under a lock so that
// concurrent writers lose nothing.
#include "Bibliothek/Plattform/uOsRegistry.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "Bibliothek/Plattform/uOsIniPosixIo.h"
#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/Textformate/uRegistryText.h"

namespace {

/// The registry file as parsed; null when it cannot be read or is refused.
std::shared_ptr<const TRegistryText> Load(const std::string& path, TOsSettingsRefusal* refusal) {
  static TPosixParsedFiles<TRegistryText> files;
  TOsSettingsRefusal why = TOsSettingsRefusal::None;
  auto parsed = files.Get(
      path,
      [](std::string bytes, bool) { return TRegistryText(std::move(bytes), OsLocaleCharset(), OsUpperCaseBuffer); },
      why);
  if (refusal) *refusal = why;
  return parsed;
}

bool MakeFolders(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;
  const std::string folder = path.substr(0, slash);
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (!MakeFolders(folder)) return false;
  return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

std::string OsRegistryFilePath() {
  const char* file = std::getenv("HKCU_FILE");
  if (file && *file) return file;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  // Relative values are invalid for this variable and are ignored.
  if (config && *config == '/') return std::string(config) + "/HKEY_CURRENT_USER.reg";
  const char* home = std::getenv("HOME");
  std::string folder = home && *home ? home : "";
  if (folder.empty()) {
    if (const passwd* user = getpwuid(getuid())) folder = user->pw_dir ? user->pw_dir : "";
  }
  return folder + "/.config/HKEY_CURRENT_USER.reg";
}

std::optional<TRegValue> OsRegReadValue(const std::string& keyPath, const std::string& name,
                                        TOsSettingsRefusal* refusal) {
  const std::shared_ptr<const TRegistryText> loaded = Load(OsRegistryFilePath(), refusal);
  if (!loaded) return std::nullopt;
  return loaded->Value(keyPath, name);
}

bool OsRegWriteString(const std::string& keyPath, const std::string& name, const std::string& value,
                      TOsSettingsRefusal* refusal) {
  if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
  const std::string path = OsRegistryFilePath();
  // The lock, the replacement and any missing folder go to the file the name
  // leads to, found before anything is made on the way to it or beside it.
  TOsSettingsRefusal why = TOsSettingsRefusal::None;
  const std::string final = PosixSettingsPath(path, why);
  if (refusal) *refusal = why;
  if (why != TOsSettingsRefusal::None || !MakeFolders(final)) return false;
  const TOsFileWriteLock lock(final);
  if (!lock.Held()) return false;
  const std::shared_ptr<const TRegistryText> loaded = Load(path, refusal);
  if (!loaded) return false;
  const std::optional<std::string> bytes = loaded->WithString(keyPath, name, value);
  return bytes && PosixReplaceFile(final, *bytes);
}
