// INI files through the Windows profile functions. Callers pass full paths: a
// bare file name would be taken from the Windows folder.
#include "Bibliothek/Plattform/uOsIni.h"

#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <memory>

#include "Bibliothek/Plattform/uOsFilesWin32.h"
#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/Textformate/uIniText.h"

namespace {
constexpr DWORD KeyListSize = 16384;
constexpr DWORD ValueSize = 2048;

// The whole of an open file from its start (at most the settings bound and a byte).
bool winReadAll(HANDLE file, std::string& bytes) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  char buffer[65536];
  for (DWORD got = 0;; bytes.append(buffer, got)) {
    if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) return false;
    if (got == 0) return true;
    if (bytes.size() > OsMaxSettingsFileBytes) return false;
  }
}

// Makes or empties `path` and writes `bytes` to it.
bool winWriteAll(const std::string& path, const std::string& bytes) {
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

// `bytes` (an INI file's) as WritePrivateProfileStringA leaves them when it
// stores key=value. It works on a copy in this user's own temporary folder:
// it writes by name and follows a link found there, and in a folder that
// others may write, one could be planted between a check and the write.
bool winProfileStored(std::string& bytes, const std::string& section, const std::string& key, const std::string& value) {
  char folder[MAX_PATH + 1], scratch[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n > MAX_PATH || GetTempFileNameA(folder, "qin", 0, scratch) == 0) return false;
  bool ok = winWriteAll(scratch, bytes) &&
            WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), scratch) != FALSE;
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, scratch);
  if (ok) {
    const HANDLE file = CreateFileA(scratch, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    bytes.clear();
    ok = file != INVALID_HANDLE_VALUE && winReadAll(file, bytes);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  DeleteFileA(scratch);
  return ok;
}

// A settings file, checked on its handle before the profile functions read it
// by name: a file on a disk, no larger than the bound, and reached through no
// link whose owner is another user. Held open meanwhile without leave to
// delete or rename it, so that the name stays with the file checked (wine
// keeps share modes per user: there another user's process may still).
class TWinSettingsFile {
public:
  explicit TWinSettingsFile(const std::string& file) {
    const HANDLE opened = Open(file, FILE_FLAG_OPEN_REPARSE_POINT);
    const DWORD openError = opened == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    // A link of another user in a folder's name leads the file elsewhere as
    // surely as one in its own name; a device has no folder.
    if ((opened == INVALID_HANDLE_VALUE || GetFileType(opened) == FILE_TYPE_DISK) && !OsTrustedPath(file)) {
      if (opened != INVALID_HANDLE_VALUE) CloseHandle(opened);
      FRefusal = TOsSettingsRefusal::ForeignLink;
      return;
    }
    if (opened == INVALID_HANDLE_VALUE) {
      // A name that is listed but leads to no file is a dangling link, which
      // a writer would follow to create its target.
      WIN32_FIND_DATAA found;
      const HANDLE search = openError == ERROR_FILE_NOT_FOUND ? FindFirstFileA(file.c_str(), &found)
                                                                   : INVALID_HANDLE_VALUE;
      if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
        FRefusal = TOsSettingsRefusal::ForeignLink;
      }
      // Otherwise missing, a folder or no access: left to the profile functions, as ever.
      return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(opened) == FILE_TYPE_DISK && GetFileInformationByHandle(opened, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      // The link itself is open: followed only when ours or an administrator's.
      const bool trusted = OsWinOwnedByUserOrAdmin(opened);
      CloseHandle(opened);
      if (!trusted) {
        FRefusal = TOsSettingsRefusal::ForeignLink;
        return;
      }
      FHandle = Open(file, 0);
      if (FHandle == INVALID_HANDLE_VALUE) return;
    } else {
      FHandle = opened;
      // Wine shows a POSIX link as no link at all, and not its owner either:
      // a name whose file lies elsewhere than the name's folder says is refused.
      if (GetFileType(FHandle) == FILE_TYPE_DISK && !NamedInItsFolder(file)) {
        FRefusal = TOsSettingsRefusal::ForeignLink;
        return;
      }
    }
    LARGE_INTEGER size{};
    if (GetFileType(FHandle) != FILE_TYPE_DISK)
      FRefusal = TOsSettingsRefusal::NotAFile;
    else if (GetFileSizeEx(FHandle, &size) && static_cast<std::uint64_t>(size.QuadPart) > OsMaxSettingsFileBytes)
      FRefusal = TOsSettingsRefusal::TooLarge;
  }
  ~TWinSettingsFile() {
    if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
  }
  TWinSettingsFile(const TWinSettingsFile&) = delete;
  TWinSettingsFile& operator=(const TWinSettingsFile&) = delete;

  /// Lets go of the file, for a writer that must open it alone.
  void Release() {
    if (FHandle != INVALID_HANDLE_VALUE) CloseHandle(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
  }
  /// The file's bytes, read through the handle checked; none for a missing file.
  bool Bytes(std::string& bytes) const {
    bytes.clear();
    if (FHandle == INVALID_HANDLE_VALUE) return true;
    return winReadAll(FHandle, bytes);
  }
  /// The handle checked, for a file that takes the checked one's place; none for a missing file.
  std::optional<TOsFile> Handle() const {
    if (FHandle == INVALID_HANDLE_VALUE) return std::nullopt;
    return reinterpret_cast<TOsFile>(FHandle);
  }
  TOsSettingsRefusal Refusal() const { return FRefusal; }
  bool Refused() const { return FRefusal != TOsSettingsRefusal::None; }

private:
  static HANDLE Open(const std::string& file, DWORD flags) {
    // No FILE_SHARE_DELETE: nobody renames or replaces the file meanwhile.
    return CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       flags, nullptr);
  }

  // True when the file open in FHandle is the entry `file` names in its folder.
  bool NamedInItsFolder(const std::string& file) const {
    const std::size_t separator = file.find_last_of("\\/:");
    std::string folder = separator == std::string::npos ? "." : file.substr(0, separator + 1);
    if (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/') && folder[folder.size() - 2] != ':')
      folder.pop_back();
    const HANDLE handle = CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    // Where the system cannot tell a final path, it cannot have followed a link either.
    if (handle == INVALID_HANDLE_VALUE) return true;
    std::string expected = winFinalPath(handle);
    CloseHandle(handle);
    const std::string final = winFinalPath(FHandle);
    if (expected.empty() || final.empty()) return true;
    if (expected.back() != '\\') expected += '\\';
    expected += file.substr(separator == std::string::npos ? 0 : separator + 1);
    return lstrcmpiA(final.c_str(), expected.c_str()) == 0;
  }

  HANDLE FHandle = INVALID_HANDLE_VALUE;
  TOsSettingsRefusal FRefusal = TOsSettingsRefusal::None;
};
}  // namespace

std::vector<std::string> OsIniKeys(const std::string& file, const std::string& section) {
  std::vector<std::string> keys;
  const TWinSettingsFile checked(file);
  if (checked.Refused()) return keys;
  std::string buffer(KeyListSize, '\0');
  const DWORD length =
      GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(), KeyListSize, file.c_str());
  // A full buffer (size - 2) means the list was cut, possibly inside its last name.
  const bool cut = length >= KeyListSize - 2;
  std::size_t pos = 0;
  while (pos < length) {
    const std::size_t end = buffer.find('\0', pos);
    if (end == std::string::npos || end > length) break;
    const bool last = end + 1 >= length;
    // An entry with an empty name is listed as an empty string; it can never be looked up.
    if (end > pos && !(last && cut)) keys.push_back(buffer.substr(pos, end - pos));
    pos = end + 1;
  }
  return keys;
}

std::shared_ptr<const TIniEntries> OsIniEntries(const std::string& file, const std::string& section,
                                                TOsSettingsRefusal* refusal) {
  const TWinSettingsFile checked(file);
  if (refusal) *refusal = checked.Refusal();
  if (checked.Refused()) return std::make_shared<const TIniEntries>();
  // One call for the whole section: a value asked for key by key is found by
  // a search through the section each time, which made a large section
  // quadratic work. The section's lines go through the portable reader,
  // which trims, unquotes, cuts and lists as the profile functions do.
  std::string buffer(65536, '\0');
  DWORD length = 0;
  for (;;) {
    length = GetPrivateProfileSectionA(section.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()), file.c_str());
    if (length < buffer.size() - 2 || buffer.size() >= (1u << 30)) break;
    buffer.resize(buffer.size() * 2);  // a full buffer (size - 2) means the section was cut
  }
  std::string text = "[S]\r\n";
  for (std::size_t pos = 0; pos < length;) {
    const std::size_t end = std::min<std::size_t>(buffer.find('\0', pos), length);
    text.append(buffer, pos, end - pos).append("\r\n");
    pos = end + 1;
  }
  return TIniText(std::move(text), OsUpperCaseBuffer).Entries("S");
}

std::string OsIniValue(const std::string& file, const std::string& section, const std::string& key) {
  const TWinSettingsFile checked(file);
  if (checked.Refused()) return std::string();
  char buffer[ValueSize] = {};
  const DWORD length =
      GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, ValueSize, file.c_str());
  return std::string(buffer, length < ValueSize ? length : ValueSize - 1);
}

bool OsIniWrite(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value, TOsSettingsRefusal* refusal) {
  if (!IniEntryStorable(section, key, value)) return false;
  {
    const TWinSettingsFile first(file);
    if (refusal) *refusal = first.Refusal();
    if (first.Refused()) return false;
  }
  // Writers take turns, so that none loses another's entry; what counts is
  // the file found once the turn has come.
  const TOsFileWriteLock lock(file);
  if (!lock.Held()) return false;
  TWinSettingsFile checked(file);
  if (refusal) *refusal = checked.Refusal();
  if (checked.Refused()) return false;
  // The file checked is read through its handle, and the result takes its
  // place through a new file beside it, which is never a link; the
  // replacement puts it in the place of a link planted meanwhile, never
  // behind one.
  std::string before, bytes;
  if (!checked.Bytes(before)) return false;
  bytes = before;
  if (!winProfileStored(bytes, IniTrim(section), IniTrim(key), IniTrim(value))) return false;
  if (checked.Handle() && bytes == before) return true;
  std::string tempPath;
  const std::optional<TOsFile> temp = OsCreateTempFileBeside(file, tempPath, checked.Handle());
  if (!temp) return false;
  bool ok = OsWriteFile(*temp, bytes.data(), bytes.size()) && OsFlushFile(*temp) && OsIsSameFile(*temp, tempPath);
  // The checked file shares no deleting: it goes out of the way first.
  checked.Release();
  ok = ok && OsReplaceFile(tempPath, file);
  OsCloseFile(*temp);
  if (!ok) OsRemoveFile(tempPath);
  // The profile functions may hold the file's old text.
  OsIniFlush(file);
  return ok;
}

void OsIniFlush(const std::string& file) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()); }

bool OsIniValuesHoldSlashes() { return false; }
