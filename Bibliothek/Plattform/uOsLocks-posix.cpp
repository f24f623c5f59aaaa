// POSIX side of uOsFiles.h: the locks, and the checks that keep a run in a
// folder that others share from following what they planted.
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <time.h>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsFilesPosix.h"
#include "Bibliothek/Plattform/uOsProcess.h"

namespace {
// A link is followed only when its owner is the user who runs or root: only
// they could have put it there (the kernel's protected_symlinks rule for
// sticky folders, applied in every folder).
bool posixTrustedLink(const struct stat& info) { return info.st_uid == geteuid() || info.st_uid == 0; }

// The file that `path` stands for: every symbolic link on the way, in a
// folder's name as in the last name, is followed (also to a last name that
// does not exist yet, so that a replacement updates the file a link points
// at instead of replacing the link). Nullopt (errno EACCES) at a link of
// another owner, or ELOOP after the kernel's own limit of 40 links. ".." is
// kept as it is, so that the kernel takes it from the folder really reached.
std::optional<std::string> posixResolve(const std::string& path) {
  std::string done = !path.empty() && path[0] == '/' ? "/" : "";
  std::string rest = path;
  int links = 0;
  for (;;) {
    const std::size_t start = rest.find_first_not_of('/');
    if (start == std::string::npos) return done.empty() ? path : done;
    const std::size_t end = rest.find('/', start);
    const std::string name = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
    rest = end == std::string::npos ? std::string() : rest.substr(end);
    std::string next = done.empty() ? name : done.back() == '/' ? done + name : done + "/" + name;
    struct stat info;
    if (name == "." || name == ".." || lstat(next.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      done = std::move(next);
      continue;
    }
    if (!posixTrustedLink(info)) {
      errno = EACCES;
      return std::nullopt;
    }
    if (++links > 40) {
      errno = ELOOP;
      return std::nullopt;
    }
    std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
    const ssize_t n = readlink(next.c_str(), target.data(), target.size());
    if (n <= 0) return std::nullopt;
    target.resize(static_cast<std::size_t>(n));
    // An absolute target starts again at the root; a relative one in the link's folder.
    if (target[0] == '/') done = "/";
    rest = target + rest;
  }
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

}  // namespace

std::string posixReplacedFile(const std::string& path) {
  const std::string native = OsNativePath(path);
  const std::optional<std::string> resolved = posixResolve(native);
  return resolved ? *resolved : native;
}

// The folder of `path` (a path posixReplacedFile gave) as a handle, reached
// without following any link: every link on the way was followed already,
// so a link found now was planted since, or is one not to follow. A file
// made or renamed through this handle lands in that folder, whatever is
// renamed or linked along the path meanwhile. -1 with errno on failure.
int posixOpenFolder(const std::string& path) {
  const std::string folder = posixFolderOf(path);
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS;
  const long fd = syscall(SYS_openat2, AT_FDCWD, folder.c_str(), &how, sizeof how);
  if (fd >= 0 || errno != ENOSYS) return static_cast<int>(fd);
  // Kernels before 5.6: the folder's own name at least is not followed.
  return open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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

std::string OsReplacedFilePath(const std::string& path) {
  const std::string replaced = posixReplacedFile(path);
  return replaced == OsNativePath(path) ? path : replaced;
}

std::optional<std::string> OsTrustedPath(const std::string& path) { return posixResolve(OsNativePath(path)); }

bool OsIsReplaceable(const std::string& path) {
  const std::optional<std::string> replaced = posixResolve(OsNativePath(path));
  if (!replaced) {
    posixSetError(nullptr);
    return false;
  }
  // A missing file is created; any other trouble shows at the writing itself.
  // A folder fails at the reading of the old report, as before.
  struct stat info;
  if (stat(replaced->c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return true;
  errno = ENOTSUP;
  posixSetError(nullptr);
  return false;
}

std::optional<TOsFile> OsOpenReplaced(const std::string& path, bool& missing) {
  missing = false;
  const std::string replaced = posixReplacedFile(path);
  const TPosixFolder folder(replaced);
  // Never follows a link (planted since the path was resolved), never waits
  // for a writer of a FIFO; what it opened is then checked on the handle.
  const int fd = folder.Fd() < 0 ? -1
                                 : openat(folder.Fd(), posixNameOf(replaced).c_str(),
                                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    missing = errno == ENOENT;
    posixSetError(nullptr);
    return std::nullopt;
  }
  struct stat info;
  const bool stated = fstat(fd, &info) == 0;
  if (!stated || !S_ISREG(info.st_mode)) {
    if (stated) errno = S_ISDIR(info.st_mode) ? EISDIR : ENOTSUP;
    posixSetError(nullptr);
    close(fd);
    return std::nullopt;
  }
  // Read in turn from now on (a regular file never blocks anyway).
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

void OsRemoveStaleTempFiles(const std::string& target) {
  const std::string replaced = posixReplacedFile(target);
  const TPosixFolder folder(replaced);
  const int listing = folder.Fd() < 0 ? -1 : openat(folder.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listing < 0 ? nullptr : fdopendir(listing);
  if (!dir) {
    if (listing >= 0) close(listing);
    return;
  }
  const std::string targetName = posixNameOf(replaced);
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (!OsIsTempName(name, targetName)) continue;
    // A temporary file is live exactly while its run holds its lock, whatever
    // process or namespace that run is in. Only a regular file that the name
    // still names goes: never a link, nor what it points at.
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

namespace {
void posixWokenUp(int) {}

// Ends every blocking wait of this thread (a lock, a sleep) with EINTR once
// the limit is reached; nothing with no limit.
class TPosixDeadline {
public:
  explicit TPosixDeadline(unsigned seconds) {
    if (seconds == 0) return;
    static const bool installed = [] {
      struct sigaction action {};
      action.sa_handler = posixWokenUp;  // no SA_RESTART: the wait returns
      sigemptyset(&action.sa_mask);
      return sigaction(SIGALRM, &action, nullptr) == 0;
    }();
    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = SIGALRM;
    event._sigev_un._tid = static_cast<pid_t>(syscall(SYS_gettid));
    if (!installed || timer_create(CLOCK_MONOTONIC, &event, &FTimer) != 0) return;
    FArmed = true;
    // The signal comes again every 50 ms after the limit, in case it came
    // between a check and the wait.
    itimerspec when{};
    when.it_value.tv_sec = static_cast<time_t>(seconds);
    when.it_interval.tv_nsec = 50'000'000;
    timer_settime(FTimer, 0, &when, nullptr);
    clock_gettime(CLOCK_MONOTONIC, &FEnd);
    FEnd.tv_sec += static_cast<time_t>(seconds);
  }
  ~TPosixDeadline() {
    if (FArmed) timer_delete(FTimer);
  }
  TPosixDeadline(const TPosixDeadline&) = delete;
  TPosixDeadline& operator=(const TPosixDeadline&) = delete;
  bool Passed() const {
    if (!FArmed) return false;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > FEnd.tv_sec || (now.tv_sec == FEnd.tv_sec && now.tv_nsec >= FEnd.tv_nsec);
  }

private:
  timer_t FTimer{};
  timespec FEnd{};
  bool FArmed = false;
};

// Takes the lock on an open lock file, waiting until `deadline`: a write lock
// through a handle that may write, else a read lock (which only writers
// conflict with) and a flock, which keeps the other readers out.
bool posixTakeLock(int fd, bool writable, const TPosixDeadline& deadline) {
  struct flock range {};
  range.l_type = writable ? F_WRLCK : F_RDLCK;
  range.l_whence = SEEK_SET;
  range.l_start = 0;
  range.l_len = 1;
  for (;;) {
    if (fcntl(fd, F_OFD_SETLKW, &range) == 0 && (writable || flock(fd, LOCK_EX) == 0)) return true;
    if (errno != EINTR) return false;
    if (deadline.Passed()) {
      errno = ETIMEDOUT;
      return false;
    }
    // Woken by another signal: let go of the half taken, and wait again.
    range.l_type = F_UNLCK;
    fcntl(fd, F_OFD_SETLK, &range);
    range.l_type = writable ? F_WRLCK : F_RDLCK;
  }
}
}  // namespace

std::optional<TOsFile> OsLockFile(const std::string& lockPath, unsigned waitSeconds, bool* timedOut) {
  if (timedOut) *timedOut = false;
  const std::string path = OsNativePath(lockPath);
  const TPosixDeadline deadline(waitSeconds);
  auto fail = [&]() -> std::optional<TOsFile> {
    if (timedOut) *timedOut = errno == ETIMEDOUT;
    posixSetError(nullptr);
    return std::nullopt;
  };
  // Each round either takes the lock, waits for a live holder, or changes
  // what the path names (a removed or replaced file); anything else fails.
  for (int round = 0; round < 100; ++round) {
    const TPosixFolder folder(path);
    if (folder.Fd() < 0) return fail();
    const std::string name = posixNameOf(path);
    // The umask decides who else may write the lock file; those who may not
    // read it and take its lock through that.
    bool writable = true;
    int fd = openat(folder.Fd(), name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EACCES) {
      writable = false;
      fd = openat(folder.Fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd >= 0) {
      struct stat held, named;
      // A lock file that is no file (a FIFO, a device) is no lock of ours.
      const bool stated = fstat(fd, &held) == 0;
      if (!stated || !S_ISREG(held.st_mode)) {
        const int why = stated ? ENOTSUP : errno;
        close(fd);
        errno = why;
        return fail();
      }
      if (!posixTakeLock(fd, writable, deadline)) {
        const int why = errno;
        close(fd);
        errno = why;
        return fail();
      }
      // The holder before us unlinks the file when it lets go; a lock on that
      // unlinked file guards nothing, so take the lock again on the new one.
      if (fstatat(folder.Fd(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !posixSameFile(held, named)) {
        close(fd);
        continue;
      }
      // A leftover of another user, taken for reading: where the folder lets
      // it go, a lock file of our own takes its place.
      if (!writable && unlinkat(folder.Fd(), name.c_str(), 0) == 0) {
        close(fd);
        continue;
      }
      OsRemoveOnInterrupt(lockPath);
      return fd;
    }
    if (errno == ENOENT) continue;  // removed between the two opens
    if (errno != EACCES) return fail();
    // A lock file of another user that this one may not even read: while a
    // live run holds it, wait; once nobody does, it is a leftover and goes.
    const int saved = errno;
    struct stat left;
    // Missing: the folder refused to create it.
    if (fstatat(folder.Fd(), name.c_str(), &left, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(left.st_mode)) {
      errno = saved;
      return fail();
    }
    const std::optional<bool> held = posixAnyLockOn(left);
    if (!held) {
      errno = saved;
      return fail();
    }
    if (*held) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (deadline.Passed()) {
        errno = ETIMEDOUT;
        return fail();
      }
      --round;
      continue;
    }
    if (unlinkat(folder.Fd(), name.c_str(), 0) != 0 && errno != ENOENT) {
      errno = saved;
      return fail();
    }
  }
  return fail();
}

void OsUnlockFile(TOsFile lock, const std::string& lockPath) {
  // Unlink while still holding the lock, so no waiter can lock the old file
  // after a newcomer created a new one. A lock taken through another user's
  // file in a folder that keeps it stays for its owner to remove. An
  // interruption from now on must not remove a newcomer's lock file.
  OsKeepOnInterrupt(lockPath);
  const TPosixFolder folder(OsNativePath(lockPath));
  struct stat held, named;
  const std::string name = posixNameOf(OsNativePath(lockPath));
  if (folder.Fd() >= 0 && fstat(posixFd(lock), &held) == 0 &&
      fstatat(folder.Fd(), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && posixSameFile(held, named))
    unlinkat(folder.Fd(), name.c_str(), 0);
  close(posixFd(lock));
}

std::string OsLockHolder(const std::string& lockPath) {
  struct stat info;
  if (lstat(OsNativePath(lockPath).c_str(), &info) != 0) return std::string();
  struct passwd entry, *found = nullptr;
  char buffer[4096];
  if (getpwuid_r(info.st_uid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->pw_name;
  return "uid " + std::to_string(info.st_uid);
}

