// POSIX side of uOsFiles.h.
#include "Bibliothek/Plattform/uOsFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

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

// The file that `path` stands for: symbolic links are followed to the end,
// also to a target that does not exist yet, so that a replacement updates the
// file they point at instead of replacing the link.
std::string posixReplacedFile(const std::string& path) {
  std::string current = OsNativePath(path);
  for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit for a loop
    struct stat info;
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
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
}  // namespace

std::string OsNativePath(const std::string& path) {
  std::string result = path;
  for (char& c : result)
    if (c == '\\') c = '/';
  return result;
}

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

bool OsSeekFile(TOsFile file, std::uint64_t offset, int* error) {
  if (lseek(posixFd(file), static_cast<off_t>(offset), SEEK_SET) < 0) {
    posixSetError(error);
    return false;
  }
  return true;
}

std::optional<std::uint64_t> OsFileSize(TOsFile file, int* error) {
  struct stat status;
  if (fstat(posixFd(file), &status) != 0) {
    posixSetError(error);
    return std::nullopt;
  }
  if (!S_ISREG(status.st_mode)) return std::nullopt;
  return static_cast<std::uint64_t>(status.st_size);
}

std::optional<std::size_t> OsReadFile(TOsFile file, char* buffer, std::size_t size, int* error) {
  for (;;) {
    const ssize_t n = read(posixFd(file), buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    posixSetError(error);
    return std::nullopt;
  }
}

std::optional<TOsFile> OsCreateFile(const std::string& path, int* error) {
  posixIgnoreFileSizeSignal();
  const int fd = open(OsNativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    posixSetError(error);
    return std::nullopt;
  }
  return fd;
}

std::optional<TOsFile> OsCreateTempFileBeside(const std::string& target, std::string& tempPath,
                                              int* error) {
  static std::atomic<unsigned> counter{0};
  posixIgnoreFileSizeSignal();
  const std::string replaced = posixReplacedFile(target);
  struct stat old;
  const bool hadFile = stat(replaced.c_str(), &old) == 0;
  const std::string base = replaced + ".~" + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = base + std::to_string(counter++);
    // O_EXCL: a name another run happens to use is never shared.
    const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
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
  posixSetError(error);
  return std::nullopt;
}

bool OsWriteFile(TOsFile file, const char* data, std::size_t size, int* error) {
  while (size > 0) {
    const ssize_t n = write(posixFd(file), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      posixSetError(error);
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool OsFlushFile(TOsFile file, int* error) {
  if (fsync(posixFd(file)) != 0) {
    posixSetError(error);
    return false;
  }
  return true;
}

void OsCloseFile(TOsFile file) { close(posixFd(file)); }

bool OsReplaceFile(const std::string& source, const std::string& target, int* error) {
  if (rename(OsNativePath(source).c_str(), posixReplacedFile(target).c_str()) != 0) {
    posixSetError(error);
    return false;
  }
  return true;
}

bool OsRemoveFile(const std::string& path, int* error) {
  if (unlink(OsNativePath(path).c_str()) != 0) {
    posixSetError(error);
    return false;
  }
  return true;
}

std::string OsReplacedFilePath(const std::string& path) {
  const std::string replaced = posixReplacedFile(path);
  return replaced == OsNativePath(path) ? path : replaced;
}

bool OsIsReplaceable(const std::string& path, int* error) {
  struct stat info;
  // A missing file is created; any other trouble shows at the writing itself.
  // A folder fails at the reading of the old report, as before.
  if (stat(posixReplacedFile(path).c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))
    return true;
  errno = ENOTSUP;
  posixSetError(error);
  return false;
}

void OsRemoveStaleTempFiles(const std::string& target) {
  const std::string replaced = posixReplacedFile(target);
  const std::size_t slash = replaced.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : replaced.substr(0, slash);
  const std::string prefix = replaced.substr(slash == std::string::npos ? 0 : slash + 1) + ".~";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    // The name is prefix PID "-" N, as OsCreateTempFileBeside makes it.
    std::size_t pos = prefix.size(), digits = 0;
    long pid = 0;
    for (; pos < name.size() && name[pos] >= '0' && name[pos] <= '9' && digits < 9; ++pos, ++digits)
      pid = pid * 10 + (name[pos] - '0');
    if (digits == 0 || pos >= name.size() || name[pos] != '-' || pos + 1 >= name.size() ||
        name.find_first_not_of("0123456789", pos + 1) != std::string::npos)
      continue;
    // Only a process that is certainly gone: another user's live one answers EPERM.
    if (pid <= 0 || pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    struct stat info;
    if (fstatat(dirfd(dir), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
      unlinkat(dirfd(dir), name.c_str(), 0);
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

std::optional<TOsFile> OsLockFile(const std::string& lockPath, int* error) {
  const std::string path = OsNativePath(lockPath);
  for (;;) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    // A lock file another user left behind may be readable only; flock needs
    // no more, so it still guards the output instead of blocking it for good.
    if (fd < 0 && errno == EACCES) {
      fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 && errno == ENOENT) continue;
    }
    if (fd < 0) {
      posixSetError(error);
      return std::nullopt;
    }
    int rc;
    do rc = flock(fd, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      posixSetError(error);
      close(fd);
      return std::nullopt;
    }
    // The holder before us unlinks the file when it lets go; a lock on that
    // unlinked file guards nothing, so take the lock again on the new one.
    struct stat held, named;
    if (fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino)
      return fd;
    close(fd);
  }
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

bool OsFlushFolderOf(const std::string& path, int* error) {
  const std::string file = posixReplacedFile(path);
  const std::size_t slash = file.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    posixSetError(error);
    return false;
  }
  const bool flushed = fsync(fd) == 0;
  if (!flushed) posixSetError(error);
  close(fd);
  return flushed;
}
