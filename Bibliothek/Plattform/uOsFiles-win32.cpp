// Win32 side of uOsFiles.h.
#include "Bibliothek/Plattform/uOsFiles.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace {
void winSetError(int* error) {
  if (error) *error = static_cast<int>(GetLastError());
}

HANDLE winHandle(TOsFile file) { return reinterpret_cast<HANDLE>(file); }
TOsFile winFile(HANDLE handle) { return reinterpret_cast<TOsFile>(handle); }

// ReadFile and WriteFile take a DWORD count; stay well below it.
constexpr std::size_t winMaxTransfer = 1u << 30;
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

void OsCloseFile(TOsFile file) { CloseHandle(winHandle(file)); }

bool OsReplaceFile(const std::string& source, const std::string& target, int* error) {
  if (!MoveFileExA(source.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    winSetError(error);
    return false;
  }
  return true;
}

bool OsRemoveFile(const std::string& path, int* error) {
  if (!DeleteFileA(path.c_str())) {
    winSetError(error);
    return false;
  }
  return true;
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
    winSetError(error);
    return std::nullopt;
  }
}

void OsUnlockFile(TOsFile lock, const std::string&) { CloseHandle(winHandle(lock)); }

bool OsStartWriteBack(TOsFile, std::uint64_t, std::uint64_t) { return true; }

bool OsFlushFolderOf(const std::string&, int*) { return true; }
