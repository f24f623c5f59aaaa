#pragma once
// Private to the POSIX INI and registry files: whole-file reading and atomic
// replacement on top of uOsFiles. A crash while writing must never leave half
// a file, so the new contents go to a temporary file in the same folder, which
// is then renamed over the old one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsFilesPosix.h"
#include "Bibliothek/Plattform/uOsIni.h"

/// The file a settings file's name leads to: each symbolic link on the way
/// is followed only when the user who runs or root owns it, so that nobody
/// can point another user's run at a file of theirs. ForeignLink else.
inline std::string PosixSettingsPath(const std::string& path, TOsSettingsRefusal& refusal) {
  // Every link on the way counts, in a folder's name as in the last name.
  const std::optional<std::string> final = OsTrustedPath(path);
  if (final) return *final;
  refusal = TOsSettingsRefusal::ForeignLink;
  return path;
}

/// Reads the whole file. A missing file gives true with `exists` false and no
/// bytes. The name's links must pass PosixSettingsPath, and the open file must
/// be a regular one of at most OsMaxSettingsFileBytes: it is opened without
/// waiting (a FIFO without a writer) and checked on its handle. Else false,
/// with the reason in `refusal`.
inline bool PosixReadWholeFile(const std::string& path, std::string& bytes, bool& exists, TOsSettingsRefusal& refusal) {
  bytes.clear();
  exists = false;
  refusal = TOsSettingsRefusal::None;
  const std::string final = PosixSettingsPath(path, refusal);
  if (refusal != TOsSettingsRefusal::None) return false;
  // Through a folder handle reached without links: a folder on the way that
  // became a link since the links were looked at leads nowhere else.
  const TPosixFolder folder(final);
  const int fd = folder.Fd() < 0 ? -1
                                 : openat(folder.Fd(), posixNameOf(final).c_str(),
                                          O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    // ELOOP: a link took the place of the file or a folder on its way since
    // the links were looked at; ENXIO: a socket.
    if (errno == ELOOP || errno == EXDEV) refusal = TOsSettingsRefusal::ForeignLink;
    if (errno == ENXIO) refusal = TOsSettingsRefusal::NotAFile;
    return errno == ENOENT || errno == ENOTDIR;
  }
  struct stat info;
  bool ok = fstat(fd, &info) == 0;
  // A folder fails at the reading, as it always has.
  if (ok && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) refusal = TOsSettingsRefusal::NotAFile;
  // The bound is one of text: a UTF-16 file (FF FE first) takes two bytes a character.
  unsigned char mark[2] = {0, 0};
  const std::uint64_t bound =
      ok && pread(fd, mark, 2, 0) == 2 && mark[0] == 0xFF && mark[1] == 0xFE ? 2 * OsMaxSettingsFileBytes
                                                                             : OsMaxSettingsFileBytes;
  if (ok && S_ISREG(info.st_mode) && static_cast<std::uint64_t>(info.st_size) > bound)
    refusal = TOsSettingsRefusal::TooLarge;
  ok = ok && refusal == TOsSettingsRefusal::None;
  if (ok) {
    exists = true;
    // Read straight into the text, sized by the file: a large file is then
    // neither copied from a buffer nor moved as the text grows. One byte more
    // than the bound tells a file that grew beyond it meanwhile.
    bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t used = 0;
    for (;;) {
      if (used == bytes.size()) bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size() * 2, bound + 1)));
      if (used > bound) {
        refusal = TOsSettingsRefusal::TooLarge;
        ok = false;
        break;
      }
      const std::optional<std::size_t> n = OsReadFile(fd, bytes.data() + used, bytes.size() - used);
      if (!n) {
        ok = false;
        break;
      }
      if (*n == 0) break;
      used += *n;
    }
    bytes.resize(ok ? used : 0);
  }
  close(fd);
  if (!ok) exists = false;
  return ok;
}

/// Replaces the file `final` (a name PosixSettingsPath led to) by `bytes`
/// atomically: a temporary file beside it, renamed over it. An existing file
/// keeps its permission bits and, where allowed, its owner. rename never
/// follows a link that took the name meanwhile: it replaces the link. All of
/// it happens in the folder reached without links, whatever is renamed or
/// linked along the path meanwhile.
inline bool PosixReplaceFile(const std::string& final, const std::string& bytes) {
  static std::atomic<unsigned> counter{0};
  const TPosixFolder folder(final);
  if (folder.Fd() < 0) return false;
  const std::string name = posixNameOf(final);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 1000 && fd < 0; ++attempt) {
    temp = posixNameOf(OsSiblingPath(final, ".~" + std::to_string(getpid()) + "-" + std::to_string(counter++)));
    fd = openat(folder.Fd(), temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  struct stat old;
  if (fstatat(folder.Fd(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode)) {
    if (fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Only the owner or root may give a file away; the permissions still apply.
    }
    fchmod(fd, old.st_mode & 07777);
  }
  bool ok = OsWriteFile(fd, bytes.data(), bytes.size()) && OsFlushFile(fd);
  close(fd);
  ok = ok && renameat(folder.Fd(), temp.c_str(), folder.Fd(), name.c_str()) == 0;
  if (!ok) unlinkat(folder.Fd(), temp.c_str(), 0);
  return ok;
}

/// The parsed form of settings files, each parsed once while it stays the
/// same: the switch library asks for every value on its own, and parsing the
/// file each time made a large file quadratic work. A file that may have
/// changed within the clock's granularity is read again and compared bytewise,
/// so no change is ever missed; the program's own replacements change the
/// file's identity anyway.
template <class T>
class TPosixParsedFiles {
public:
  /// The parsed file (`parse(std::string bytes, bool exists)` makes it); null
  /// when it cannot be read or is refused (then `refusal` says why).
  template <class Parse>
  std::shared_ptr<const T> Get(const std::string& path, Parse parse, TOsSettingsRefusal& refusal) {
    refusal = TOsSettingsRefusal::None;
    std::lock_guard<std::mutex> guard(FMutex);
    struct stat info {};
    const bool stamped = stat(path.c_str(), &info) == 0 || errno == ENOENT || errno == ENOTDIR;
    TStamp stamp;
    if (stamped && info.st_ino != 0) stamp = {true, info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    auto found = FFiles.find(path);
    // Only a regular file is known by its stamp: another kind is checked anew.
    if (stamped && found != FFiles.end() && !found->second.Racy && found->second.Stamp == stamp &&
        (!stamp.Exists || S_ISREG(info.st_mode)))
      return found->second.Parsed;
    std::string bytes;
    bool exists = false;
    if (!PosixReadWholeFile(path, bytes, exists, refusal)) return nullptr;
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
