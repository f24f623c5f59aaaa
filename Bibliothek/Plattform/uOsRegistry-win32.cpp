// The current user's registry through the Windows registry functions.
#include "Bibliothek/Plattform/uOsRegistry.h"

#include <windows.h>

#include <vector>

namespace {

/// The registry wants the path from the root without a leading backslash.
std::string WinKeyPath(const std::string& keyPath) {
  const std::size_t first = keyPath.find_first_not_of('\\');
  return first == std::string::npos ? std::string() : keyPath.substr(first);
}

}  // namespace

// The real registry has no file to refuse.
std::optional<TRegValue> OsRegReadValue(const std::string& keyPath, const std::string& name,
                                        TOsSettingsRefusal* refusal) {
  if (refusal) *refusal = TOsSettingsRefusal::None;
  HKEY key = nullptr;
  // Full access, as the reader has always asked for it: a key that grants less does not open.
  if (RegOpenKeyExA(HKEY_CURRENT_USER, WinKeyPath(keyPath).c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return std::nullopt;
  std::optional<TRegValue> result;
  DWORD type = 0, size = 0;
  LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
  std::vector<BYTE> data;
  // The value may grow between the two calls; ask again with the new size.
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    data.assign(size + 1, 0);
    DWORD got = size;
    status = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &got);
    if (status == ERROR_SUCCESS) {
      size = got;
      break;
    }
    if (status == ERROR_MORE_DATA) size = got;
  }
  if (status == ERROR_SUCCESS) {
    TRegValue value;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      value.Type = type == REG_SZ ? TRegType::String : TRegType::ExpandString;
      std::size_t length = 0;
      while (length < size && data[length] != 0) ++length;
      value.Data.assign(reinterpret_cast<const char*>(data.data()), length);
    } else {
      value.Type = TRegType::Other;
      value.Data.assign(reinterpret_cast<const char*>(data.data()), size);
    }
    result = value;
  }
  RegCloseKey(key);
  return result;
}

bool OsRegWriteString(const std::string& keyPath, const std::string& name, const std::string& value,
                      TOsSettingsRefusal* refusal) {
  if (refusal) *refusal = TOsSettingsRefusal::None;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, WinKeyPath(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  // The text and one zero byte; a zero inside the text ends the string there, as on reading.
  const std::string text = value.substr(0, value.find('\0'));
  const LONG status = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                     static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

std::string OsRegistryFilePath() { return std::string(); }
