// Win32 side of uOsLocale.h.
#include "Bibliothek/Plattform/uOsLocale.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace {

/// The ANSI code page, which the ...A functions speak.
class TWinAnsiCharset : public TCharset {
public:
  bool Append(std::string& text, char32_t code) const override {
    wchar_t units[2];
    int count = 1;
    if (code >= 0x10000 && code <= 0x10FFFF) {
      units[0] = static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
      units[1] = static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
      count = 2;
    } else if (code < 0x10000) {
      units[0] = static_cast<wchar_t>(code);
    } else {
      return false;
    }
    char buffer[8];
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, count, buffer, sizeof buffer, nullptr, &lossy);
    if (n <= 0 || lossy) return false;
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  std::size_t Read(std::string_view text, std::size_t pos, char32_t& code) const override {
    const std::size_t length = IsDBCSLeadByte(static_cast<BYTE>(text[pos])) ? 2 : 1;
    if (text.size() - pos < length) return 0;
    wchar_t unit = 0;
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data() + pos, static_cast<int>(length), &unit, 1) != 1)
      return 0;
    code = unit;
    return length;
  }
};

}  // namespace

const TCharset& OsLocaleCharset() {
  static const TWinAnsiCharset charset;
  return charset;
}

namespace {
// Upper case of `size` bytes into `upper`; false unless it takes as many bytes.
bool upperCaseOf(const char* data, int size, char* upper) {
  return LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_UPPERCASE, data, size, upper, size) == size;
}
}  // namespace

void OsUpperCaseBuffer(char* data, std::size_t length) {
  // The system locale's casing through its ANSI code page, as user32's
  // CharUpperBuffA does, from kernel32: a run that draws nothing then never
  // loads user32. LCMapStringA takes an int count: go in slices for very long
  // texts. A slice that does not map byte for byte (a lone lead byte of a
  // double-byte code page, as in the engine's table of all 256 bytes) goes
  // one character at a time; a character whose upper case is longer stays.
  std::string upper;
  while (length > 0) {
    const int slice = length > 0x40000000u ? 0x40000000 : static_cast<int>(length);
    upper.resize(static_cast<std::size_t>(slice));
    if (upperCaseOf(data, slice, upper.data())) {
      std::memcpy(data, upper.data(), upper.size());
    } else {
      for (int at = 0; at < slice;) {
        const int size = IsDBCSLeadByte(static_cast<BYTE>(data[at])) && at + 1 < slice ? 2 : 1;
        if (upperCaseOf(data + at, size, upper.data()))
          std::memcpy(data + at, upper.data(), static_cast<std::size_t>(size));
        at += size;
      }
    }
    data += slice;
    length -= static_cast<std::size_t>(slice);
  }
}

TOsDateTime OsLocalDateTime() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::string OsShortDatePicture() {
  char buffer[128] = {};
  const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, buffer, sizeof buffer);
  if (n <= 1) return "dd.MM.yyyy";
  return std::string(buffer, static_cast<std::size_t>(n - 1));
}
