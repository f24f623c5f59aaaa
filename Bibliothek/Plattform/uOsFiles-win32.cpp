// Win32 side of uOsFiles.h.
#include "Bibliothek/Plattform/uOsFiles.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

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
}  // namespace

std::string OsNativePath(const std::string& path) { return path; }

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
  return winFile(handle);
}

bool OsSeekFile(TOsFile file, std::uint64_t offset, int* error) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(winHandle(file), distance, nullptr, FILE_BEGIN)) {
    winSetError(error);
    return false;
  }
  return true;
}

std::optional<std::uint64_t> OsFileSize(TOsFile file, int* error) {
  if (GetFileType(winHandle(file)) != FILE_TYPE_DISK) return std::nullopt;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(winHandle(file), &size)) {
    winSetError(error);
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<std::size_t> OsReadFile(TOsFile file, char* buffer, std::size_t size, int* error) {
  DWORD read = 0;
  const DWORD wanted = static_cast<DWORD>(size < winMaxTransfer ? size : winMaxTransfer);
  if (!ReadFile(winHandle(file), buffer, wanted, &read, nullptr)) {
    // A pipe's writer that went away is the end of the data, not a failure.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    winSetError(error);
    return std::nullopt;
  }
  return static_cast<std::size_t>(read);
}

std::optional<TOsFile> OsCreateFile(const std::string& path, int* error) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    winSetError(error);
    return std::nullopt;
  }
  return winFile(handle);
}

std::optional<TOsFile> OsCreateTempFileBeside(const std::string& target, std::string& tempPath,
                                              int* error) {
  static std::atomic<unsigned> counter{0};
  const std::string base = target + ".~" + std::to_string(GetCurrentProcessId()) + "-";
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = base + std::to_string(counter++);
    // CREATE_NEW: a name another run happens to use is never shared.
    const HANDLE handle = CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      tempPath = candidate;
      return winFile(handle);
    }
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
  }
  winSetError(error);
  return std::nullopt;
}

bool OsWriteFile(TOsFile file, const char* data, std::size_t size, int* error) {
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(size < winMaxTransfer ? size : winMaxTransfer);
    if (!WriteFile(winHandle(file), data, chunk, &written, nullptr) || written == 0) {
      winSetError(error);
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool OsFlushFile(TOsFile file, int* error) {
  if (!FlushFileBuffers(winHandle(file))) {
    winSetError(error);
    return false;
  }
  return true;
}

void OsCloseFile(TOsFile file) {
  TWriteBack::Instance().Forget(winHandle(file));
  CloseHandle(winHandle(file));
}

bool OsReplaceFile(const std::string& source, const std::string& target, int* error) {
  // Another process that only looks at the target for a moment (a run asking
  // for its final path, a virus scanner) makes the replacement fail for that
  // moment: try again for a while.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD code = GetLastError();
    if (attempt >= 100 || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)) break;
    Sleep(20);
  }
  winSetError(error);
  return false;
}

bool OsRemoveFile(const std::string& path, int* error) {
  if (!DeleteFileA(path.c_str())) {
    winSetError(error);
    return false;
  }
  return true;
}

std::string OsReplacedFilePath(const std::string& path) {
  // Wine shows a POSIX symbolic link without the reparse point attribute, so
  // every existing file is asked for its final path.
  const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return path;
  char buffer[MAX_PATH * 4];
  const DWORD n = GetFinalPathNameByHandleA(handle, buffer, sizeof buffer, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(handle);
  if (n == 0 || n >= sizeof buffer) return path;
  std::string result(buffer, n);
  if (result.rfind("\\\\?\\UNC\\", 0) == 0)
    result = "\\\\" + result.substr(8);
  else if (result.rfind("\\\\?\\", 0) == 0)
    result.erase(0, 4);
  // The file itself: keep the path as the caller gave it.
  char full[MAX_PATH * 4];
  const DWORD m = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (m > 0 && m < sizeof full && lstrcmpiA(full, result.c_str()) == 0) return path;
  return result;
}

bool OsIsReplaceable(const std::string& path, int* error) {
  const HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  // A missing file is created; any other trouble shows at the writing itself.
  if (handle == INVALID_HANDLE_VALUE) return true;
  // A folder fails at the reading of the old report, as before.
  const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
  CloseHandle(handle);
  if (disk) return true;
  SetLastError(ERROR_NOT_SUPPORTED);
  winSetError(error);
  return false;
}

void OsRemoveStaleTempFiles(const std::string& target) {
  const std::size_t slash = target.find_last_of("\\/:");
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string prefix = target.substr(slash == std::string::npos ? 0 : slash + 1) + ".~";
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + prefix + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || name.compare(0, prefix.size(), prefix) != 0)
      continue;
    // The name is prefix PID "-" N, as OsCreateTempFileBeside makes it.
    std::size_t pos = prefix.size(), digits = 0;
    DWORD pid = 0;
    for (; pos < name.size() && name[pos] >= '0' && name[pos] <= '9' && digits < 9; ++pos, ++digits)
      pid = pid * 10 + static_cast<DWORD>(name[pos] - '0');
    if (digits == 0 || pos >= name.size() || name[pos] != '-' || pos + 1 >= name.size() ||
        name.find_first_not_of("0123456789", pos + 1) != std::string::npos || pid == GetCurrentProcessId())
      continue;
    // Only a process that is certainly gone: no such process, or one that has ended.
    bool gone = false;
    if (const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid)) {
      gone = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
      CloseHandle(process);
    } else {
      gone = GetLastError() == ERROR_INVALID_PARAMETER;
    }
    if (gone) DeleteFileA((folder + name).c_str());
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

std::optional<TOsFile> OsLockFile(const std::string& lockPath, int* error) {
  // Held = opened without sharing; the system deletes the file when the
  // holder closes it, also when the holder dies.
  int deniedRetries = 0;
  for (;;) {
    const HANDLE handle =
        CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return winFile(handle);
    const DWORD code = GetLastError();
    // Another holder: wait. Access denied is also what a file whose deletion
    // is pending gives for a moment; for longer it is a real refusal.
    if (code == ERROR_SHARING_VIOLATION || (code == ERROR_ACCESS_DENIED && ++deniedRetries < 100)) {
      Sleep(20);
      continue;
    }
    // A lock file another user left behind (a lock never outlives its holder
    // here) may not be ours to delete: held open without sharing, it guards
    // the output just the same.
    if (code == ERROR_ACCESS_DENIED) {
      const HANDLE left = CreateFileA(lockPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
      if (left != INVALID_HANDLE_VALUE) return winFile(left);
      if (GetLastError() == ERROR_SHARING_VIOLATION) {
        deniedRetries = 0;
        Sleep(20);
        continue;
      }
    }
    winSetError(error);
    return std::nullopt;
  }
}

void OsUnlockFile(TOsFile lock, const std::string&) { CloseHandle(winHandle(lock)); }

bool OsStartWriteBack(TOsFile file, std::uint64_t, std::uint64_t) {
  TWriteBack::Instance().Request(winHandle(file));
  return true;
}

void OsForgetRead(TOsFile, std::uint64_t, std::uint64_t) {}

bool OsFlushFolderOf(const std::string&, int*) { return true; }
