// INI files through the Windows profile functions. Callers pass full paths: a
// bare file name would be taken from the Windows folder.
#include "Bibliothek/Plattform/uOsIni.h"

#include <windows.h>

#include <algorithm>

#include "Bibliothek/Plattform/uIniText.h"

namespace {
constexpr DWORD KeyListSize = 16384;
constexpr DWORD ValueSize = 2048;
}  // namespace

std::vector<std::string> OsIniKeys(const std::string& file, const std::string& section) {
  std::vector<std::string> keys;
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

std::shared_ptr<const TIniEntries> OsIniEntries(const std::string& file, const std::string& section) {
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
  return TIniText(std::move(text)).Entries("S");
}

std::string OsIniValue(const std::string& file, const std::string& section, const std::string& key) {
  char buffer[ValueSize] = {};
  const DWORD length =
      GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, ValueSize, file.c_str());
  return std::string(buffer, length < ValueSize ? length : ValueSize - 1);
}

bool OsIniWrite(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value) {
  if (!IniEntryStorable(section, key, value)) return false;
  return WritePrivateProfileStringA(IniTrim(section).c_str(), IniTrim(key).c_str(), IniTrim(value).c_str(),
                                    file.c_str()) != FALSE;
}

void OsIniFlush(const std::string& file) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str()); }

bool OsIniValuesHoldSlashes() { return false; }
