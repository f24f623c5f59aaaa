// POSIX side of uOsFiles.h.
#include "Bibliothek/Plattform/uOsFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

static_assert(sizeof(off_t) == 8, "files beyond 2 GiB need a 64-bit off_t");

namespace {
// The last failure of this thread, for the line that says why a file failed.
thread_local int tLastError = 0;

void posixSetError(int* error) {
  tLastError = errno;
  if (error) *error = errno;
}

int posixFd(TOsFile file) { return static_cast<int>(file); }

// A write beyond the file size limit (ulimit -f) must fail like a full disk,
// so that the caller cleans up, instead of ending the process with SIGXFSZ.
void posixIgnoreFileSizeSignal() {
  static const bool ignored = signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  (void)ignored;
}

// The folder part of a native path ("." for a bare name, "/" for the root).
std::string posixFolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A link is followed only when nobody but its owner could have put it there
// for someone else to write through: it belongs to the user who runs, or to
// root, or its folder is writable by nobody but the folder's owner, who owns
// the link too (the rule of the kernel's protected_symlinks, made stricter
// for group-writable team folders).
bool posixTrustedLink(const std::string& link, const struct stat& info) {
  if (info.st_uid == geteuid() || info.st_uid == 0) return true;
  struct stat folder;
  if (stat(posixFolderOf(link).c_str(), &folder) != 0) return false;
  return (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0 && folder.st_uid == info.st_uid;
}

// The file that `path` stands for: symbolic links are followed to the end,
// also to a target that does not exist yet, so that a replacement updates the
// file they point at instead of replacing the link. An untrusted link is not
// followed: the path then names the link itself, which OsIsReplaceable refuses.
std::string posixReplacedFile(const std::string& path) {
  std::string current = OsNativePath(path);
  for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit for a loop
    struct stat info;
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) || !posixTrustedLink(current, info))
      return current;
    std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
    const ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n <= 0) return current;
    target.resize(static_cast<std::size_t>(n));
    const std::size_t slash = current.rfind('/');
    if (target[0] != '/' && slash != std::string::npos) target = current.substr(0, slash + 1) + target;
    current = target;
  }
  return current;
}

// The whole-file lock both builds agree on: byte 0 of the file, as an open
// file description lock here and as LockFileEx in the Windows build (wine
// holds that as a POSIX lock on the same byte, which conflicts with ours).
bool posixLockByte(int fd, short type, bool wait) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 1;
  int rc;
  do rc = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range);
  while (rc != 0 && errno == EINTR && wait);
  return rc == 0;
}

// Whether any process holds a lock on the file `info` describes, as far as
// the system tells (Linux: /proc/locks); nullopt when it cannot be told.
std::optional<bool> posixAnyLockOn(const struct stat& info) {
  std::ifstream locks("/proc/locks");
  if (!locks) return std::nullopt;
  std::ostringstream id;
  id << std::hex;
  id.fill('0');
  id.width(2);
  id << major(info.st_dev) << ':';
  id.width(2);
  id << minor(info.st_dev) << ':' << std::dec << info.st_ino;
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 6 && fields >> field; ++i) {
      if (field == "->") --i;  // a waiter's line has one field more
    }
    if (field == id.str()) return true;
  }
  return false;
}

bool posixSameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }
}  // namespace

std::string OsNativePath(const std::string& path) {
  std::string result = path;
  for (char& c : result)
    if (c == '\\') c = '/';
  return result;
}

bool OsFileNamesIgnoreCase() { return false; }

bool OsDirectoryExists(const std::string& path) {
  struct stat info;
  return stat(OsNativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool OsCreateDirectory(const std::string& path) {
  return mkdir(OsNativePath(path).c_str(), 0777) == 0;
}

bool OsFileExists(const std::string& path) {
  struct stat info;
  return stat(OsNativePath(path).c_str(), &info) == 0;
}

std::optional<TOsFile> OsOpenRead(const std::string& path, int* error) {
  const int fd = open(OsNativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    posixSetError(error);
    return std::nullopt;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

bool OsSeekFile(TOsFile file, std::uint64_t offset) {
  if (lseek(posixFd(file), static_cast<off_t>(offset), SEEK_SET) < 0) {
    posixSetError(nullptr);
    return false;
  }
  return true;
}

std::optional<std::uint64_t> OsFileSize(TOsFile file) {
  struct stat status;
  if (fstat(posixFd(file), &status) != 0) {
    posixSetError(nullptr);
    return std::nullopt;
  }
  if (!S_ISREG(status.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(status.st_size);
}

std::optional<std::size_t> OsReadFile(TOsFile file, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = read(posixFd(file), buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    posixSetError(nullptr);
    return std::nullopt;
  }
}

std::optional<std::size_t> OsReadFileAt(TOsFile file, std::uint64_t offset, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = pread(posixFd(file), buffer, size, static_cast<off_t>(offset));
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    posixSetError(nullptr);
    return std::nullopt;
  }
}

bool OsIsSameFile(TOsFile file, const std::string& path) {
  struct stat held, named;
  if (fstat(posixFd(file), &held) == 0 && lstat(OsNativePath(path).c_str(), &named) == 0 &&
      posixSameFile(held, named))
    return true;
  errno = ESTALE;  // the name no longer leads to the open file
  posixSetError(nullptr);
  return false;
}

std::string OsSiblingPath(const std::string& path, const std::string& suffix) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t room = OsMaxNameBytes > suffix.size() ? OsMaxNameBytes - suffix.size() : 0;
  return path.substr(0, nameStart + std::min(room, path.size() - nameStart)) + suffix;
}

std::optional<TOsFile> OsCreateFile(const std::string& path) {
  posixIgnoreFileSizeSignal();
  const int fd = open(OsNativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    posixSetError(nullptr);
    return std::nullopt;
  }
  return fd;
}

std::optional<TOsFile> OsCreateTempFileBeside(const std::string& target, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  posixIgnoreFileSizeSignal();
  const std::string replaced = posixReplacedFile(target);
  struct stat old;
  const bool hadFile = stat(replaced.c_str(), &old) == 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate =
        OsSiblingPath(replaced, ".~" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    // O_EXCL never opens what is there already, a planted link included.
    const int fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // Live while locked: a clean-up of another run leaves it alone.
      posixLockByte(fd, F_WRLCK, false);
      // The replacement keeps the old file's permissions and, where allowed, its owner.
      if (hadFile) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
          // Only the owner or root may give a file away; the permissions still apply.
        }
        fchmod(fd, old.st_mode & 07777);
      }
      tempPath = candidate;
      return fd;
    }
    if (errno != EEXIST) break;
  }
  posixSetError(nullptr);
  return std::nullopt;
}

// Writes all `size` bytes with `put(data, size, done)`, which writes a first
// part of them behind the `done` ones already written.
template <typename TPut>
static bool posixWriteAll(const char* data, std::size_t size, TPut put) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = put(data + done, size - done, done);
    if (n < 0) {
      if (errno == EINTR) continue;
      posixSetError(nullptr);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool OsWriteFile(TOsFile file, const char* data, std::size_t size) {
  return posixWriteAll(data, size, [file](const char* from, std::size_t n, std::size_t) {
    return write(posixFd(file), from, n);
  });
}

bool OsWriteFileAt(TOsFile file, std::uint64_t offset, const char* data, std::size_t size) {
  return posixWriteAll(data, size, [file, offset](const char* from, std::size_t n, std::size_t done) {
    return pwrite(posixFd(file), from, n, static_cast<off_t>(offset + done));
  });
}

bool OsFlushFile(TOsFile file) {
  if (fsync(posixFd(file)) != 0) {
    posixSetError(nullptr);
    return false;
  }
  return true;
}

void OsCloseFile(TOsFile file) { close(posixFd(file)); }

bool OsReplaceFile(const std::string& source, const std::string& target) {
  if (rename(OsNativePath(source).c_str(), posixReplacedFile(target).c_str()) != 0) {
    posixSetError(nullptr);
    return false;
  }
  return true;
}

bool OsRemoveFile(const std::string& path) {
  if (unlink(OsNativePath(path).c_str()) != 0) {
    posixSetError(nullptr);
    return false;
  }
  return true;
}

std::string OsReplacedFilePath(const std::string& path) {
  const std::string replaced = posixReplacedFile(path);
  return replaced == OsNativePath(path) ? path : replaced;
}

bool OsIsReplaceable(const std::string& path) {
  const std::string replaced = posixReplacedFile(path);
  struct stat info;
  // A link that is still a link here was not to be followed (see posixTrustedLink).
  if (lstat(replaced.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    errno = EACCES;
    posixSetError(nullptr);
    return false;
  }
  // A missing file is created; any other trouble shows at the writing itself.
  // A folder fails at the reading of the old report, as before.
  if (stat(replaced.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return true;
  errno = ENOTSUP;
  posixSetError(nullptr);
  return false;
}

void OsRemoveStaleTempFiles(const std::string& target) {
  const std::string replaced = posixReplacedFile(target);
  const std::string folder = posixFolderOf(replaced);
  // The names OsCreateTempFileBeside gives: the target's name (cut to fit), ".~", then the rest.
  const std::string stem = OsSiblingPath(replaced, ".~");
  const std::string prefix = stem.substr(stem.rfind('/') == std::string::npos ? 0 : stem.rfind('/') + 1);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!OsIsTempName(name, prefix)) continue;
    // A temporary file is live exactly while its run holds its lock, whatever
    // process or namespace that run is in.
    const int fd = openat(dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info, named;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && posixLockByte(fd, F_RDLCK, false) &&
        fstatat(dirfd(dir), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && posixSameFile(info, named))
      unlinkat(dirfd(dir), name.c_str(), 0);
    close(fd);
  }
  closedir(dir);
}

std::string OsLastFileFailure() {
  if (tLastError == 0) return std::string();
  char buffer[256];
  return strerror_r(tLastError, buffer, sizeof buffer);
}

void OsWriteFileFailure(const std::string& path) {
  const std::string line = path + ": " + OsLastFileFailure() + "\n";
  if (write(STDERR_FILENO, line.data(), line.size()) < 0) {
    // Nowhere left to say it.
  }
}

std::optional<TOsFile> OsLockFile(const std::string& lockPath) {
  const std::string path = OsNativePath(lockPath);
  // Each round either takes the lock, waits for a live holder, or changes
  // what the path names (a removed or replaced file); anything else fails.
  for (int round = 0; round < 100; ++round) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // Every user's runs must be able to open the lock file for writing.
      struct stat own;
      if (fstat(fd, &own) == 0 && own.st_uid == geteuid()) fchmod(fd, 0666);
      if (!posixLockByte(fd, F_WRLCK, true)) {
        posixSetError(nullptr);
        close(fd);
        return std::nullopt;
      }
      // The holder before us unlinks the file when it lets go; a lock on that
      // unlinked file guards nothing, so take the lock again on the new one.
      struct stat held, named;
      if (fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && posixSameFile(held, named)) return fd;
      close(fd);
      continue;
    }
    if (errno != EACCES) break;
    // A lock file of another user that this one may not write: while a live
    // run holds it, wait; once nobody does, it is a leftover and goes.
    const int saved = errno;
    struct stat left;
    // Missing: the folder refused to create it.
    if (lstat(path.c_str(), &left) != 0 || !S_ISREG(left.st_mode)) {
      errno = saved;
      break;
    }
    fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      // A read lock waits for a writer and keeps new ones out meanwhile.
      const bool free = posixLockByte(fd, F_RDLCK, true);
      const bool removed = free && unlink(path.c_str()) == 0;
      const int why = errno;
      close(fd);
      if (removed) continue;
      errno = free ? why : saved;
      break;
    }
    if (errno == ENOENT) continue;
    const std::optional<bool> held = posixAnyLockOn(left);
    if (!held) {
      errno = saved;
      break;
    }
    if (*held) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      --round;
      continue;
    }
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
      errno = saved;
      break;
    }
  }
  posixSetError(nullptr);
  return std::nullopt;
}

void OsUnlockFile(TOsFile lock, const std::string& lockPath) {
  // Unlink while still holding the lock, so no waiter can lock the old file
  // after a newcomer created a new one.
  unlink(OsNativePath(lockPath).c_str());
  close(posixFd(lock));
}

bool OsStartWriteBack(TOsFile file, std::uint64_t offset, std::uint64_t size) {
#if defined(__linux__)
  return sync_file_range(posixFd(file), static_cast<off_t>(offset), static_cast<off_t>(size),
                         SYNC_FILE_RANGE_WRITE) == 0;
#else
  (void)file, (void)offset, (void)size;
  return true;
#endif
}

void OsForgetRead(TOsFile file, std::uint64_t offset, std::uint64_t size) {
  posix_fadvise(posixFd(file), static_cast<off_t>(offset), static_cast<off_t>(size), POSIX_FADV_DONTNEED);
}

bool OsDiscardFileRange(TOsFile file, std::uint64_t offset, std::uint64_t size) {
#if defined(__linux__)
  return fallocate(posixFd(file), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
                   static_cast<off_t>(size)) == 0;
#else
  (void)file, (void)offset, (void)size;
  return false;
#endif
}

bool OsDiscardsFileRanges() {
#if defined(__linux__)
  return true;
#else
  return false;
#endif
}

std::optional<std::uint64_t> OsFreeDiskBytes(const std::string& path) {
  const std::string native = OsNativePath(path);
  struct statvfs volume;
  if (statvfs(native.c_str(), &volume) != 0 && statvfs(posixFolderOf(native).c_str(), &volume) != 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
}

bool OsFlushFolderOf(const std::string& path) {
  const std::string folder = posixFolderOf(posixReplacedFile(path));
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    posixSetError(nullptr);
    return false;
  }
  const bool flushed = fsync(fd) == 0;
  if (!flushed) posixSetError(nullptr);
  close(fd);
  return flushed;
}
