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

void winSetError(int* error) {
  tLastError = GetLastError();
  if (error) *error = static_cast<int>(tLastError);
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
