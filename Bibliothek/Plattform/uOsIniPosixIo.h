#pragma once
// Private to the POSIX INI and registry files: whole-file reading and atomic
// replacement on top of uOsFiles. A crash while writing must never leave half
// a file, so the new contents go to a temporary file in the same folder, which
// is then renamed over the old one.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
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
  // Read straight into the text, sized by the file: a large file is then
  // neither copied from a buffer nor moved as the text grows.
  const std::optional<std::uint64_t> size = OsFileSize(*file);
  bytes.resize(size && *size < (std::uint64_t{1} << 40) ? static_cast<std::size_t>(*size) + 1 : 65536);
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const std::optional<std::size_t> n = OsReadFile(*file, bytes.data() + used, bytes.size() - used);
    if (!n) {
      OsCloseFile(*file);
      bytes.clear();
      return false;
    }
    if (*n == 0) break;
    used += *n;
  }
  bytes.resize(used);
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

/// Holds the lock that serialises the read-modify-replace of one settings
/// file among processes and threads, so that no writer loses another's value.
class TPosixFileWriteLock {
public:
  explicit TPosixFileWriteLock(const std::string& path) : FPath(OsReplacedFilePath(path) + ".lock") {
    FLock = OsLockFile(FPath);
  }
  ~TPosixFileWriteLock() {
    if (FLock) OsUnlockFile(*FLock, FPath);
  }
  TPosixFileWriteLock(const TPosixFileWriteLock&) = delete;
  TPosixFileWriteLock& operator=(const TPosixFileWriteLock&) = delete;
  bool Held() const { return FLock.has_value(); }

private:
  std::string FPath;
  std::optional<TOsFile> FLock;
};

/// The parsed form of settings files, each parsed once while it stays the
/// same: the switch library asks for every value on its own, and parsing the
/// file each time made a large file quadratic work. A file that may have
/// changed within the clock's granularity is read again and compared bytewise,
/// so no change is ever missed; the program's own replacements change the
/// file's identity anyway.
template <class T>
class TPosixParsedFiles {
public:
  /// The parsed file (`parse(std::string bytes, bool exists)` makes it); null when it cannot be read.
  template <class Parse>
  std::shared_ptr<const T> Get(const std::string& path, Parse parse) {
    std::lock_guard<std::mutex> guard(FMutex);
    struct stat info {};
    const bool stamped = stat(path.c_str(), &info) == 0 || errno == ENOENT || errno == ENOTDIR;
    TStamp stamp;
    if (stamped && info.st_ino != 0) stamp = {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    auto found = FFiles.find(path);
    if (stamped && found != FFiles.end() && !found->second.Racy && found->second.Stamp == stamp)
      return found->second.Parsed;
    std::string bytes;
    bool exists = false;
    if (!PosixReadWholeFile(path, bytes, exists)) return nullptr;
    // Stamps of the last two seconds may not tell two versions apart.
    const bool racy = !stamped || !stamp.Exists || stamp.Mtime.tv_sec >= std::time(nullptr) - 2 ||
                      stamp.Ctime.tv_sec >= std::time(nullptr) - 2;
    if (found != FFiles.end() && found->second.KeptBytes && found->second.Exists == exists &&
        found->second.Bytes == bytes) {
      found->second.Stamp = stamp;
      found->second.Racy = racy;
      return found->second.Parsed;
    }
    // Only a file whose stamp may not tell versions apart keeps its bytes for
    // that comparison; any other file hands them to the parser, so that a
    // large file is not held twice.
    std::string kept = racy ? bytes : std::string();
    auto parsed = std::make_shared<const T>(parse(std::move(bytes), exists));
    FFiles[path] = {stamp, racy, exists, racy, std::move(kept), parsed};
    return parsed;
  }

private:
  struct TStamp {
    bool Exists = false;
    dev_t Dev = 0;
    ino_t Ino = 0;
    off_t Size = 0;
    timespec Mtime{}, Ctime{};
    bool operator==(const TStamp& o) const {
      return Exists == o.Exists && Dev == o.Dev && Ino == o.Ino && Size == o.Size && Mtime.tv_sec == o.Mtime.tv_sec &&
             Mtime.tv_nsec == o.Mtime.tv_nsec && Ctime.tv_sec == o.Ctime.tv_sec && Ctime.tv_nsec == o.Ctime.tv_nsec;
    }
  };
  struct TEntry {
    TStamp Stamp;
    bool Racy = true;
    bool Exists = false;
    bool KeptBytes = false;
    std::string Bytes;
    std::shared_ptr<const T> Parsed;
  };
  std::mutex FMutex;
  std::map<std::string, TEntry> FFiles;
};
