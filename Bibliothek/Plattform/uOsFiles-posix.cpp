// POSIX side of uOsFiles.h.
#include "Bibliothek/Plattform/uOsFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "Bibliothek/Plattform/uOsFilesPosix.h"
#include "Bibliothek/Plattform/uOsProcess.h"

static_assert(sizeof(off_t) == 8, "files beyond 2 GiB need a 64-bit off_t");

namespace {
// The last failure of this thread, for the line that says why a file failed.
thread_local int tLastError = 0;

// A write beyond the file size limit (ulimit -f) must fail like a full disk,
// so that the caller cleans up, instead of ending the process with SIGXFSZ.
void posixIgnoreFileSizeSignal() {
  static const bool ignored = signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  (void)ignored;
}
}  // namespace

void posixSetError(int* error) {
  tLastError = errno;
  if (error) *error = errno;
}

std::string posixFolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string posixNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

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

std::optional<TOsFile> OsCreateTempFileBeside(const std::string& target, std::string& tempPath,
                                             std::optional<TOsFile> model) {
  static std::atomic<unsigned> counter{0};
  posixIgnoreFileSizeSignal();
  const std::string replaced = posixReplacedFile(target);
  const TPosixFolder folder(replaced);
  if (folder.Fd() < 0) {
    posixSetError(nullptr);
    return std::nullopt;
  }
  const std::string name = posixNameOf(replaced);
  struct stat old;
  const bool hadFile = model ? fstat(posixFd(*model), &old) == 0
                             : fstatat(folder.Fd(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(old.st_mode);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate =
        OsSiblingPath(replaced, ".~" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    // O_EXCL never opens what is there already, a planted link included.
    const int fd = openat(folder.Fd(), posixNameOf(candidate).c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      // An interrupted run takes it along; a killed one leaves it to the next clean-up.
      OsRemoveOnInterrupt(candidate);
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
  const std::string replaced = posixReplacedFile(target);
  const TPosixFolder folder(replaced);
  if (folder.Fd() < 0 || renameat(folder.Fd(), posixNameOf(OsNativePath(source)).c_str(), folder.Fd(),
                                  posixNameOf(replaced).c_str()) != 0) {
    posixSetError(nullptr);
    return false;
  }
  OsKeepOnInterrupt(source);
  return true;
}

bool OsRemoveFile(const std::string& path) {
  OsKeepOnInterrupt(path);
  if (unlink(OsNativePath(path).c_str()) != 0) {
    posixSetError(nullptr);
    return false;
  }
  return true;
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
