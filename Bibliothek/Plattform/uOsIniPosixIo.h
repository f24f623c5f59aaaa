#pragma once
// Private to the POSIX INI and registry files: whole-file reading and atomic
// replacement on top of uOsFiles. A crash while writing must never leave half
// a file, so the new contents go to a temporary file in the same folder, which
// is then renamed over the old one.
#include <cerrno>
#include <string>

#include "Bibliothek/Plattform/uOsFiles.h"

/// Reads the whole file. A missing file gives true with `exists` false and no bytes.
inline bool PosixReadWholeFile(const std::string& path, std::string& bytes, bool& exists) {
  bytes.clear();
  exists = false;
  int error = 0;
  const std::optional<TOsFile> file = OsOpenRead(path, &error);
  if (!file) return error == ENOENT || error == ENOTDIR;
  exists = true;
  char buffer[65536];
  for (;;) {
    const std::optional<std::size_t> n = OsReadFile(*file, buffer, sizeof buffer);
    if (!n) {
      OsCloseFile(*file);
      return false;
    }
    if (*n == 0) break;
    bytes.append(buffer, *n);
  }
  OsCloseFile(*file);
  return true;
}

/// Replaces `path` by `bytes` atomically. An existing file keeps its permission
/// bits; a symbolic link keeps pointing at the file, which is replaced.
inline bool PosixReplaceFile(const std::string& path, const std::string& bytes) {
  std::string temp;
  const std::optional<TOsFile> file = OsCreateTempFileBeside(path, temp);
  if (!file) return false;
  bool ok = OsWriteFile(*file, bytes.data(), bytes.size()) && OsFlushFile(*file);
  OsCloseFile(*file);
  ok = ok && OsReplaceFile(temp, path);
  if (!ok) OsRemoveFile(temp);
  return ok;
}
