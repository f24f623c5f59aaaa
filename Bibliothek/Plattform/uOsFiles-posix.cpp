// POSIX side of uOsFiles.h.
#include "Bibliothek/Plattform/uOsFiles.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

std::string OsNativePath(const std::string& path) {
  std::string native = path;
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

bool OsDirectoryExists(const std::string& path) {
  struct stat info {};
  return stat(OsNativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool OsCreateDirectory(const std::string& path) {
  return mkdir(OsNativePath(path).c_str(), 0777) == 0;
}

bool OsFileExists(const std::string& path) {
  struct stat info {};
  return stat(OsNativePath(path).c_str(), &info) == 0;
}
