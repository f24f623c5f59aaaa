// Win32 side of uOsFiles.h: the locks, and the checks that keep a run in a
// folder that others share from following what they planted.
#include <windows.h>
#include <aclapi.h>

#include <optional>
#include <string>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsFilesWin32.h"
#include "Bibliothek/Plattform/uOsProcess.h"

namespace {
// Whether a failed LockFileEx met another holder (as against a real failure).
bool winLockTaken(DWORD code) { return code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING; }

// Marks an open file (opened with DELETE access) to go when its last handle closes.
bool winDeleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO gone{};
  gone.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone) != 0;
}

// `path` in full, with long names; as given when it cannot be told.
std::string winFullPath(const std::string& path) {
  char full[MAX_PATH * 4];
  const DWORD m = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (m == 0 || m >= sizeof full) {
    // API oddity: the ANSI calls take no path beyond MAX_PATH, although the
    // file system takes its names; a relative one is put behind the folder.
    const DWORD c = GetCurrentDirectoryA(sizeof full, full);
    const bool relative = path.size() < 2 || (path[1] != ':' && path[0] != '\\' && path[0] != '/');
    if (c == 0 || c >= sizeof full || !relative) return path;
    std::string joined(full, c);
    if (joined.back() != '\\') joined += '\\';
    return joined + path;
  }
  char longer[MAX_PATH * 4];
  const DWORD k = GetLongPathNameA(full, longer, sizeof longer);
  return k > 0 && k < sizeof longer ? std::string(longer, k) : std::string(full, m);
}

bool winSamePath(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

HANDLE winLookAt(const std::string& path, bool itself);

// True when `final`, a handle's final path, is the full path `full` itself.
// A drive that stands for a share or a folder (a mapped or substituted
// drive) has another final name for its root; that part may differ.
bool winIsFinalOf(const std::string& final, const std::string& full) {
  if (winSamePath(final, full)) return true;
  if (full.size() < 3 || full[1] != ':' || (full[2] != '\\' && full[2] != '/')) return false;
  const HANDLE root = winLookAt(full.substr(0, 3), false);
  if (root == INVALID_HANDLE_VALUE) return false;
  const std::string rootFinal = winFinalPath(root);
  CloseHandle(root);
  if (rootFinal.empty()) return false;
  const bool slash = rootFinal.back() == '\\' || rootFinal.back() == '/';
  return winSamePath(final, rootFinal + (slash ? "" : "\\") + full.substr(3));
}

// Opens `path` to look at it; with `itself`, a link (reparse point) itself
// rather than what it leads to.
HANDLE winLookAt(const std::string& path, bool itself) {
  return CreateFileA(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (itself ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
}


// The file that `path` stands for. Where the system's final name for it
// differs from its own, a link is on the way: each name along the path is
// looked at itself, and every link found must belong to the user, SYSTEM or
// the Administrators. A path that leads elsewhere with no link the system
// shows (wine shows a POSIX link as the file it leads to) has a link whose
// owner cannot be told: nullopt, as for a link of another owner. A missing
// file is looked for in its folder, the way it would be created.
std::optional<std::string> winResolve(const std::string& path) {
  const std::string full = winFullPath(path);
  const HANDLE file = winLookAt(full, false);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    // A link itself that leads nowhere: not followed.
    const HANDLE itself = winLookAt(full, true);
    if (itself != INVALID_HANDLE_VALUE) {
      CloseHandle(itself);
      SetLastError(ERROR_ACCESS_DENIED);
      return std::nullopt;
    }
    const std::size_t separator = full.find_last_of("\\/");
    if ((code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) || separator == std::string::npos ||
        separator + 1 >= full.size() || full.find_first_of("\\/") == separator)
      return path;
    const std::optional<std::string> folder = winResolve(full.substr(0, separator));
    if (!folder) return std::nullopt;
    return winSamePath(*folder, full.substr(0, separator)) ? path : *folder + full.substr(separator);
  }
  const std::string final = winFinalPath(file);
  CloseHandle(file);
  if (final.empty() || winIsFinalOf(final, full)) return path;
  bool sawLink = false;
  for (std::size_t at = full.find_first_of("\\/", 3); ; at = full.find_first_of("\\/", at + 1)) {
    const HANDLE step = winLookAt(full.substr(0, at), true);
    if (step == INVALID_HANDLE_VALUE) break;
    BY_HANDLE_FILE_INFORMATION info;
    const bool link = GetFileInformationByHandle(step, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    const bool trusted = !link || OsWinOwnedByUserOrAdmin(step);
    CloseHandle(step);
    if (!trusted) {
      SetLastError(ERROR_ACCESS_DENIED);
      return std::nullopt;
    }
    sawLink = sawLink || link;
    if (at == std::string::npos) break;
  }
  if (!sawLink) {
    SetLastError(ERROR_ACCESS_DENIED);
    return std::nullopt;
  }
  return final;
}

// True when the open `file` is a regular file on a disk that `path` names
// with no link on the way (one planted after the path was resolved).
bool winPlainFileAt(HANDLE file, const std::string& path) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
    return false;
  const std::string final = winFinalPath(file);
  return !final.empty() && winIsFinalOf(final, winFullPath(path));
}

// Removes a lock file this user may neither write nor read, so no handle can
// take or test its lock, when no handle at all is open on it: a handle to
// delete it that shares nothing is refused while one is. False when it stays
// (held, waited for, or not this user's to remove; wine, which keeps share
// modes apart per user, opens no such file at all).
bool winRemoveIfUnused(const std::string& lockPath) {
  const HANDLE file = CreateFileA(lockPath.c_str(), DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool removed = winPlainFileAt(file, lockPath) && winDeleteOnClose(file);
  CloseHandle(file);
  return removed;
}

}  // namespace

// The path a handle is open on, as the system names it ("\\?\" taken off);
// empty when it cannot tell.
std::string winFinalPath(HANDLE file) {
  char buffer[MAX_PATH * 4];
  const DWORD n = GetFinalPathNameByHandleA(file, buffer, sizeof buffer, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n == 0 || n >= sizeof buffer) return std::string();
  std::string result(buffer, n);
  if (result.rfind("\\\\?\\UNC\\", 0) == 0)
    result = "\\\\" + result.substr(8);
  else if (result.rfind("\\\\?\\", 0) == 0)
    result.erase(0, 4);
  return result;
}

bool winLockByte(HANDLE file, bool exclusive) {
  OVERLAPPED at{};
  return LockFileEx(file, (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

bool winSameFile(HANDLE file, const std::string& path) {
  const HANDLE named = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a, b;
  const bool same = GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(named, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                    a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(named);
  return same;
}

std::string winReplaced(const std::string& path) {
  const std::optional<std::string> resolved = winResolve(path);
  return resolved ? *resolved : path;
}

std::string OsReplacedFilePath(const std::string& path) { return winReplaced(path); }

std::optional<std::string> OsTrustedPath(const std::string& path) { return winResolve(path); }

bool OsIsReplaceable(const std::string& path) {
  const std::optional<std::string> replaced = winResolve(path);
  if (!replaced) {
    winSetError(nullptr);
    return false;
  }
  const HANDLE handle = winLookAt(*replaced, false);
  // A missing file is created; any other trouble shows at the writing itself.
  if (handle == INVALID_HANDLE_VALUE) return true;
  // A folder fails at the reading of the old report, as before.
  const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
  CloseHandle(handle);
  if (disk) return true;
  SetLastError(ERROR_NOT_SUPPORTED);
  winSetError(nullptr);
  return false;
}

std::optional<TOsFile> OsOpenReplaced(const std::string& path, bool& missing) {
  missing = false;
  const std::string replaced = winReplaced(path);
  // Not through a link planted since the path was resolved: Windows opens
  // such a link itself, and then it is no plain file; wine follows it, and
  // then the file's final name is another.
  const HANDLE handle = CreateFileA(replaced.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    missing = GetLastError() == ERROR_FILE_NOT_FOUND;
    winSetError(nullptr);
    return std::nullopt;
  }
  // Its name must still name it, by volume and file index, not by a path
  // only: the final path of a file renamed in the meantime is its new one.
  if (!winPlainFileAt(handle, replaced) || !winSameFile(handle, replaced)) {
    CloseHandle(handle);
    SetLastError(ERROR_NOT_SUPPORTED);
    winSetError(nullptr);
    return std::nullopt;
  }
  return winFile(handle);
}

void OsRemoveStaleTempFiles(const std::string& target) {
  const std::string replaced = winReplaced(target);
  const std::size_t slash = replaced.find_last_of("\\/:");
  const std::string folder = slash == std::string::npos ? "" : replaced.substr(0, slash + 1);
  const std::string targetName = replaced.substr(folder.size());
  // The names OsCreateTempFileBeside gives start with a cut of the target's name.
  const std::string cut = OsSiblingPath(replaced, ".~0-0").substr(folder.size());
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + cut.substr(0, cut.size() - 5) + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        !OsIsTempName(name, targetName))
      continue;
    // A temporary file is live exactly while its run holds its lock, whatever
    // build or process that run is. Only a plain file that the name names
    // goes: never a link, nor what it leads to.
    const HANDLE file = CreateFileA((folder + name).c_str(), GENERIC_READ | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    if (winPlainFileAt(file, folder + name) && winLockByte(file, false)) winDeleteOnClose(file);
    CloseHandle(file);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

std::optional<TOsFile> OsLockFile(const std::string& lockPath, unsigned waitSeconds, bool* timedOut) {
  if (timedOut) *timedOut = false;
  const ULONGLONG end = GetTickCount64() + 1000ull * waitSeconds;
  auto passed = [&] { return waitSeconds != 0 && GetTickCount64() >= end; };
  auto fail = [&](DWORD code) -> std::optional<TOsFile> {
    SetLastError(code);
    winSetError(nullptr);
    if (timedOut) *timedOut = code == WAIT_TIMEOUT;
    return std::nullopt;
  };
  for (;;) {
    bool writable = true;
    HANDLE handle = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
      // Missing: the folder refused to create it. A folder is no lock file.
      const DWORD attributes = GetFileAttributesA(lockPath.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() == ERROR_FILE_NOT_FOUND
                                                : (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return fail(ERROR_ACCESS_DENIED);
      // Another user's lock file: its lock is taken through a handle that reads.
      writable = false;
      handle = CreateFileA(lockPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      // One this user may not even read (or one whose removal is pending):
      // a leftover that nobody has open goes; else its holder removes it
      // when it lets go. A sharing violation: a holder of an earlier
      // version, which held its lock file open without sharing. Gone between
      // two opens: made anew.
      if (code == ERROR_ACCESS_DENIED && !writable && winRemoveIfUnused(lockPath)) continue;
      if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION || code == ERROR_FILE_NOT_FOUND) {
        if (passed()) return fail(WAIT_TIMEOUT);
        Sleep(20);
        continue;
      }
      return fail(code);
    }
    // A link planted as the lock file would have its target removed at the end.
    if (!winPlainFileAt(handle, lockPath)) {
      CloseHandle(handle);
      return fail(ERROR_NOT_SUPPORTED);
    }
    // Another holder: wait. LockFileEx is asked again rather than left to
    // wait, since wine cannot wait for a lock that a POSIX process holds.
    while (!winLockByte(handle, true)) {
      const DWORD code = GetLastError();
      if (!winLockTaken(code) || passed()) {
        CloseHandle(handle);
        return fail(winLockTaken(code) ? WAIT_TIMEOUT : code);
      }
      Sleep(20);
    }
    // The holder before us removed the file when it let go; a lock on that
    // file guards nothing, so take the lock again on the new one.
    if (winSameFile(handle, lockPath)) {
      // A leftover of another user, taken for reading: where it can go, a
      // lock file of our own takes its place.
      if (!writable && DeleteFileA(lockPath.c_str())) {
        CloseHandle(handle);
        continue;
      }
      OsRemoveOnInterrupt(lockPath);
      return winFile(handle);
    }
    CloseHandle(handle);
  }
}

void OsUnlockFile(TOsFile lock, const std::string& lockPath) {
  // Removed while still held, so no waiter can lock the old file after a
  // newcomer created a new one; from now on an interruption must not remove
  // a newcomer's file.
  OsKeepOnInterrupt(lockPath);
  winDeleteOnClose(winHandle(lock));
  CloseHandle(winHandle(lock));
}

std::string OsLockHolder(const std::string& lockPath) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(lockPath.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return std::string();
  char name[256], domain[256];
  DWORD nameSize = sizeof name, domainSize = sizeof domain;
  SID_NAME_USE use;
  std::string holder;
  if (LookupAccountSidA(nullptr, owner, name, &nameSize, domain, &domainSize, &use)) holder = name;
  LocalFree(descriptor);
  return holder;
}

bool OsWinOwnedByUserOrAdmin(HANDLE handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                      &descriptor) != ERROR_SUCCESS)
    return false;
  const bool trusted = IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
                       IsWellKnownSid(owner, WinLocalSystemSid) || winIsProcessUser(owner);
  LocalFree(descriptor);
  return trusted;
}
