#pragma once
// POSIX side, shared by the platform's own files (not a platform header): the
// helpers of uOsFiles-posix.cpp and uOsLocks-posix.cpp that both use.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "Bibliothek/Plattform/uOsFiles.h"

/// Keeps errno as this thread's last failure (OsLastFileFailure) and hands it
/// to a caller that gives `error`.
void posixSetError(int* error);

inline int posixFd(TOsFile file) { return static_cast<int>(file); }

/// The folder part of a native path ("." for a bare name, "/" for the root).
std::string posixFolderOf(const std::string& path);
/// The last name of a path.
std::string posixNameOf(const std::string& path);

/// The file that replacing `path` replaces: every link on the way followed
/// under the owner rule of OsReplacedFilePath, or the native path itself at
/// a link not to follow, which every use then refuses (posixOpenFolder).
std::string posixReplacedFile(const std::string& path);

// The folder of `path` (a path posixReplacedFile gave) as a handle, reached
// without following any link: every link on the way was followed already,
// so a link found now was planted since, or is one not to follow. A file
// made or renamed through this handle lands in that folder, whatever is
// renamed or linked along the path meanwhile. -1 with errno on failure.
int posixOpenFolder(const std::string& path);

// Closes a folder handle of posixOpenFolder on every way out.
class TPosixFolder {
public:
  explicit TPosixFolder(const std::string& path) : FFd(posixOpenFolder(path)) {}
  ~TPosixFolder() {
    if (FFd >= 0) close(FFd);
  }
  TPosixFolder(const TPosixFolder&) = delete;
  TPosixFolder& operator=(const TPosixFolder&) = delete;
  int Fd() const { return FFd; }

private:
  int FFd;
};

// The whole-file lock both builds agree on: byte 0 of the file, as an open
// file description lock here and as LockFileEx in the Windows build (wine
// holds that as a POSIX lock on the same byte, which conflicts with ours).
bool posixLockByte(int fd, short type, bool wait);

inline bool posixSameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
