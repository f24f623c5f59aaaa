// Win32 side of uOsFiles.h.
#include "Bibliothek/Plattform/uOsFiles.h"

#include <windows.h>
#include <aclapi.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "Bibliothek/Plattform/uOsFilesWin32.h"
#include "Bibliothek/Plattform/uOsProcess.h"

// The system's own read, which the SDK headers leave to the driver kit.
extern "C" NTSTATUS NTAPI NtReadFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc, PVOID apcContext,
                                     PIO_STATUS_BLOCK status, PVOID buffer, ULONG size, PLARGE_INTEGER offset,
                                     PULONG key);

namespace {
// The last failure of this thread, for the line that says why a file failed.
thread_local DWORD tLastError = 0;

void winSetError(int* error) {
  tLastError = GetLastError();
  if (error) *error = static_cast<int>(tLastError);
}

HANDLE winHandle(TOsFile file) { return reinterpret_cast<HANDLE>(file); }
TOsFile winFile(HANDLE handle) { return reinterpret_cast<TOsFile>(handle); }

// ReadFile and WriteFile take a DWORD count; stay well below it.
constexpr std::size_t winMaxTransfer = 1u << 30;

// Windows has no call that starts writing a file to disk without waiting for
// it. A thread of its own flushes such files instead, one at a time; asking
// again while a file waits changes nothing. A file's handle is closed only
// after its flush.
class TWriteBack {
public:
  // Never destroyed: the thread waits on it until the process ends.
  static TWriteBack& Instance() {
    static TWriteBack* const one = new TWriteBack;
    return *one;
  }

  void Request(HANDLE file) {
    const std::lock_guard lock(FMutex);
    if (std::find(FWaiting.begin(), FWaiting.end(), file) != FWaiting.end()) return;
    if (!FStarted) {
      try {
        std::thread([this] { Run(); }).detach();
      } catch (const std::system_error&) {
        return;  // no thread: the final flush does it all
      }
      FStarted = true;
    }
    FWaiting.push_back(file);
    FChanged.notify_all();
  }

  /// Before `file` is closed.
  void Forget(HANDLE file) {
    std::unique_lock lock(FMutex);
    if (!FStarted) return;
    FWaiting.erase(std::remove(FWaiting.begin(), FWaiting.end(), file), FWaiting.end());
    FChanged.wait(lock, [&] { return FFlushing != file; });
  }

private:
  void Run() {
    std::unique_lock lock(FMutex);
    for (;;) {
      FChanged.wait(lock, [this] { return !FWaiting.empty(); });
      FFlushing = FWaiting.front();
      FWaiting.erase(FWaiting.begin());
      lock.unlock();
      FlushFileBuffers(FFlushing);
      lock.lock();
      FFlushing = nullptr;
      FChanged.notify_all();
    }
  }

  std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<HANDLE> FWaiting;
  HANDLE FFlushing = nullptr;
  bool FStarted = false;
};

// The whole-file lock both builds agree on: byte 0 of the file (wine holds it
// as a POSIX lock on that byte, which the POSIX build's own lock conflicts with).
bool winLockByte(HANDLE file, bool exclusive) {
  OVERLAPPED at{};
  return LockFileEx(file, (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

// Whether a failed LockFileEx met another holder (as against a real failure).
bool winLockTaken(DWORD code) { return code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING; }

// True when `path`, not followed if it is a link, names the file `file` is open on.
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

// Marks an open file (opened with DELETE access) to go when its last handle closes.
bool winDeleteOnClose(HANDLE file) {
  FILE_DISPOSITION_INFO gone{};
  gone.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &gone, sizeof gone) != 0;
}

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

std::string winReplaced(const std::string& path) {
  const std::optional<std::string> resolved = winResolve(path);
  return resolved ? *resolved : path;
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

// Whether `sid` is the user this process runs as.
bool winIsProcessUser(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(TOKEN_USER) char user[256];
  DWORD size = 0;
  const bool same = GetTokenInformation(token, TokenUser, user, sizeof user, &size) &&
                    EqualSid(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, sid);
  CloseHandle(token);
  return same;
}

// The restore privilege, enabled while this lives where the token holds it:
// with it a file may be created for another owner.
class TWinRestorePrivilege {
public:
  TWinRestorePrivilege() {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &FToken)) return;
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD size = 0;
    // API oddity: AdjustTokenPrivileges succeeds for a privilege the token
    // lacks; only the last error tells.
    FEnabled = LookupPrivilegeValueA(nullptr, SE_RESTORE_NAME, &wanted.Privileges[0].Luid) &&
               AdjustTokenPrivileges(FToken, FALSE, &wanted, sizeof FBefore, &FBefore, &size) &&
               GetLastError() == ERROR_SUCCESS;
  }
  ~TWinRestorePrivilege() {
    if (FEnabled) AdjustTokenPrivileges(FToken, FALSE, &FBefore, 0, nullptr, nullptr);
    if (FToken) CloseHandle(FToken);
  }
  TWinRestorePrivilege(const TWinRestorePrivilege&) = delete;
  TWinRestorePrivilege& operator=(const TWinRestorePrivilege&) = delete;
  bool Enabled() const { return FEnabled; }

private:
  HANDLE FToken = nullptr;
  TOKEN_PRIVILEGES FBefore{};
  bool FEnabled = false;
};

// The access rules of the open `file`, for a file made to replace it: its
// DACL (and group), so that who may read the report stays who could, and
// its owner where this process may give a file away.
class TWinSecurity {
public:
  explicit TWinSecurity(std::optional<TOsFile> model) {
    if (!model) return;
    PSID owner = nullptr, group = nullptr;
    PACL dacl = nullptr;
    if (GetSecurityInfo(winHandle(*model), SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, &owner,
                        &group, &dacl, nullptr, &FOld) != ERROR_SUCCESS)
      return;
    if (!InitializeSecurityDescriptor(&FNew, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&FNew, dacl != nullptr, dacl, FALSE) ||
        !SetSecurityDescriptorControl(&FNew, SE_DACL_PROTECTED, SE_DACL_PROTECTED) ||
        (group && !SetSecurityDescriptorGroup(&FNew, group, FALSE)))
      return;
    FAttributes.nLength = sizeof FAttributes;
    FAttributes.lpSecurityDescriptor = &FNew;
    FUsed = true;
    if (owner && !winIsProcessUser(owner)) FOwner = owner;
  }
  ~TWinSecurity() { LocalFree(FOld); }
  TWinSecurity(const TWinSecurity&) = delete;
  TWinSecurity& operator=(const TWinSecurity&) = delete;
  SECURITY_ATTRIBUTES* Attributes() { return FUsed ? &FAttributes : nullptr; }
  /// Whether the old file has another owner, for a creation that may give it back.
  bool OtherOwner() const { return FOwner != nullptr; }
  /// The rules with the old file's owner (`keep`) or with the creator as owner.
  void GiveOwner(bool keep) {
    if (FUsed) SetSecurityDescriptorOwner(&FNew, keep ? FOwner : nullptr, FALSE);
  }

private:
  PSECURITY_DESCRIPTOR FOld = nullptr;
  SECURITY_DESCRIPTOR FNew{};
  SECURITY_ATTRIBUTES FAttributes{};
  PSID FOwner = nullptr;
  bool FUsed = false;
};
}  // namespace

std::string OsNativePath(const std::string& path) { return path; }

bool OsFileNamesIgnoreCase() { return true; }

bool OsDirectoryExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool OsCreateDirectory(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool OsFileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<TOsFile> OsOpenRead(const std::string& path, int* error) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    winSetError(error);
    return std::nullopt;
  }
  // A device (NUL, CON, AUX, COM1, also as aux.log) is no log: it reads as
  // nothing or waits for ever. Only files and pipes are read.
  const DWORD type = GetFileType(handle);
  if (type != FILE_TYPE_DISK && type != FILE_TYPE_PIPE) {
    CloseHandle(handle);
    SetLastError(ERROR_NOT_SUPPORTED);
    winSetError(error);
    return std::nullopt;
  }
  return winFile(handle);
}

bool OsSeekFile(TOsFile file, std::uint64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(winHandle(file), distance, nullptr, FILE_BEGIN)) {
    winSetError(nullptr);
    return false;
  }
  return true;
}

std::optional<std::uint64_t> OsFileSize(TOsFile file) {
  if (GetFileType(winHandle(file)) != FILE_TYPE_DISK) return std::nullopt;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(winHandle(file), &size)) {
    winSetError(nullptr);
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<std::size_t> OsReadFile(TOsFile file, char* buffer, std::size_t size) {
  DWORD read = 0;
  const DWORD wanted = static_cast<DWORD>(size < winMaxTransfer ? size : winMaxTransfer);
  if (!ReadFile(winHandle(file), buffer, wanted, &read, nullptr)) {
    // A pipe's writer that went away is the end of the data, not a failure.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    winSetError(nullptr);
    return std::nullopt;
  }
  return static_cast<std::size_t>(read);
}

// NtReadFile, not ReadFile with an OVERLAPPED: ReadFile then also offers the
// read to a completion port, and under wine asking whether the file has one
// is a round trip to the wine server on every read (7-14% of a run on a
// large log).
std::optional<std::size_t> OsReadFileAt(TOsFile file, std::uint64_t offset, char* buffer, std::size_t size) {
  IO_STATUS_BLOCK done{};
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  const ULONG wanted = static_cast<ULONG>(size < winMaxTransfer ? size : winMaxTransfer);
  const NTSTATUS status = NtReadFile(winHandle(file), nullptr, nullptr, nullptr, &done, buffer, wanted, &at, nullptr);
  if (status == static_cast<NTSTATUS>(0xC0000011L)) return 0;  // STATUS_END_OF_FILE
  if (!NT_SUCCESS(status)) {
    SetLastError(RtlNtStatusToDosError(status));
    winSetError(nullptr);
    return std::nullopt;
  }
  return static_cast<std::size_t>(done.Information);
}

bool OsIsSameFile(TOsFile file, const std::string& path) {
  if (winSameFile(winHandle(file), path)) return true;
  SetLastError(ERROR_FILE_INVALID);  // the name no longer leads to the open file
  winSetError(nullptr);
  return false;
}

std::string OsSiblingPath(const std::string& path, const std::string& suffix) {
  const std::size_t separator = path.find_last_of("\\/:");
  const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  const std::size_t room = OsMaxNameBytes > suffix.size() ? OsMaxNameBytes - suffix.size() : 0;
  return path.substr(0, nameStart + std::min(room, path.size() - nameStart)) + suffix;
}

std::optional<TOsFile> OsCreateFile(const std::string& path) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    winSetError(nullptr);
    return std::nullopt;
  }
  return winFile(handle);
}

std::optional<TOsFile> OsCreateTempFileBeside(const std::string& target, std::string& tempPath,
                                             std::optional<TOsFile> model) {
  static std::atomic<unsigned> counter{0};
  const std::string replaced = winReplaced(target);
  TWinSecurity security(model);
  // Another owner's file stays theirs where this process may give a file
  // away; elsewhere it becomes this user's, as any file it creates.
  std::optional<TWinRestorePrivilege> privilege;
  if (security.OtherOwner()) privilege.emplace();
  bool giveAway = privilege && privilege->Enabled();
  security.GiveOwner(giveAway);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate =
        OsSiblingPath(replaced, ".~" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++));
    // CREATE_NEW never opens what is there already. Others may look (the
    // clean-up's lock test) and the file may be renamed while open.
    const HANDLE handle = CreateFileA(candidate.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_DELETE, security.Attributes(), CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      // An interrupted run takes it along; a killed one leaves it to the next clean-up.
      OsRemoveOnInterrupt(candidate);
      // Live while locked: a clean-up of another run leaves it alone.
      winLockByte(handle, true);
      tempPath = candidate;
      return winFile(handle);
    }
    const DWORD code = GetLastError();
    if (giveAway && code == ERROR_INVALID_OWNER) {
      giveAway = false;
      security.GiveOwner(false);
      continue;
    }
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
  }
  winSetError(nullptr);
  return std::nullopt;
}

// Writes all `size` bytes, at `offset` when there is one, else at the
// handle's position.
static bool winWriteAll(TOsFile file, std::optional<std::uint64_t> offset, const char* data, std::size_t size) {
  for (std::uint64_t done = 0; done < size;) {
    OVERLAPPED at{};
    if (offset) {
      at.Offset = static_cast<DWORD>(*offset + done);
      at.OffsetHigh = static_cast<DWORD>((*offset + done) >> 32);
    }
    DWORD written = 0;
    const std::uint64_t left = size - done;
    const DWORD chunk = static_cast<DWORD>(left < winMaxTransfer ? left : winMaxTransfer);
    if (!WriteFile(winHandle(file), data + done, chunk, &written, offset ? &at : nullptr) || written == 0) {
      winSetError(nullptr);
      return false;
    }
    done += written;
  }
  return true;
}

bool OsWriteFile(TOsFile file, const char* data, std::size_t size) { return winWriteAll(file, std::nullopt, data, size); }

bool OsWriteFileAt(TOsFile file, std::uint64_t offset, const char* data, std::size_t size) {
  return winWriteAll(file, offset, data, size);
}

bool OsFlushFile(TOsFile file) {
  if (!FlushFileBuffers(winHandle(file))) {
    winSetError(nullptr);
    return false;
  }
  return true;
}

void OsCloseFile(TOsFile file) {
  TWriteBack::Instance().Forget(winHandle(file));
  CloseHandle(winHandle(file));
}

bool OsReplaceFile(const std::string& source, const std::string& target) {
  // Another process that only looks at the target for a moment (a run asking
  // for its final path, a virus scanner) makes the replacement fail for that
  // moment: try again for a while.
  const std::string replaced = winReplaced(target);
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(source.c_str(), replaced.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      OsKeepOnInterrupt(source);
      return true;
    }
    const DWORD code = GetLastError();
    if (attempt >= 100 || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)) break;
    Sleep(20);
  }
  winSetError(nullptr);
  return false;
}

bool OsRemoveFile(const std::string& path) {
  OsKeepOnInterrupt(path);
  if (!DeleteFileA(path.c_str())) {
    winSetError(nullptr);
    return false;
  }
  return true;
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

std::string OsLastFileFailure() {
  if (tLastError == 0) return std::string();
  char buffer[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, tLastError, 0,
                           buffer, sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ')) --n;
  if (n == 0) return "error " + std::to_string(tLastError);
  return std::string(buffer, n);
}

void OsWriteFileFailure(const std::string& path) {
  const std::string line = path + ": " + OsLastFileFailure() + "\r\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
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

bool OsStartWriteBack(TOsFile file, std::uint64_t, std::uint64_t) {
  TWriteBack::Instance().Request(winHandle(file));
  return true;
}

void OsForgetRead(TOsFile, std::uint64_t, std::uint64_t) {}

bool OsDiscardFileRange(TOsFile, std::uint64_t, std::uint64_t) { return false; }

bool OsDiscardsFileRanges() { return false; }

std::optional<std::uint64_t> OsFreeDiskBytes(const std::string& path) {
  // The folder: GetDiskFreeSpaceExA wants one, and a missing file has none else.
  const std::size_t separator = path.find_last_of("\\/:");
  std::string folder = separator == std::string::npos ? "." : path.substr(0, separator + 1);
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return static_cast<std::uint64_t>(available.QuadPart);
}

bool OsFlushFolderOf(const std::string&) { return true; }

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
