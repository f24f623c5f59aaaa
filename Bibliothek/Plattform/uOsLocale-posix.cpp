// POSIX side of uOsLocale.h.
#include "Bibliothek/Plattform/uOsLocale.h"

#include <langinfo.h>
#include <strings.h>

#include <cctype>
#include <climits>
#include <clocale>
#include <ctime>
#include <cwchar>
#include <string>

namespace {

/// The C library's multibyte functions in the current locale (a single-byte
/// set such as ISO-8859-15, or a multibyte one other than UTF-8).
class TPosixLibraryCharset : public TCharset {
public:
  bool Append(std::string& text, char32_t code) const override {
    if (code > WCHAR_MAX) return false;
    char buffer[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::size_t n = std::wcrtomb(buffer, static_cast<wchar_t>(code), &state);
    if (n == static_cast<std::size_t>(-1)) return false;
    text.append(buffer, n);
    return true;
  }
  std::size_t Read(std::string_view text, std::size_t pos, char32_t& code) const override {
    wchar_t wide = 0;
    std::mbstate_t state{};
    const std::size_t n = std::mbrtowc(&wide, text.data() + pos, text.size() - pos, &state);
    if (n == 0 || n > MB_LEN_MAX) return 0;  // a zero character, or bytes that start none
    code = static_cast<char32_t>(wide);
    return n;
  }
};

bool posixIsAsciiCodeset(const char* codeset) {
  for (const char* name : {"ANSI_X3.4-1968", "ASCII", "US-ASCII", "646"})
    if (strcasecmp(codeset, name) == 0) return true;
  return false;
}

}  // namespace

const TCharset& OsLocaleCharset() {
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0 ||
      posixIsAsciiCodeset(codeset))
    return Utf8Charset();
  static const TPosixLibraryCharset library;
  return library;
}

void OsUpperCaseBuffer(char* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    data[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(data[i])));
}

TOsDateTime OsLocalDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

namespace {
// The C library's date format turned into a Windows date picture.
std::string posixPictureFromStrftime(const std::string& format) {
  std::string picture;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      picture += format[i];
      continue;
    }
    char c = format[++i];
    if (c == 'E' || c == 'O') {  // alternative-digit modifiers
      if (i + 1 >= format.size()) break;
      c = format[++i];
    }
    switch (c) {
      case 'd': picture += "dd"; break;
      case 'e': picture += "d"; break;
      case 'm': picture += "MM"; break;
      case 'Y': picture += "yyyy"; break;
      case 'y': picture += "yy"; break;
      case 'D': picture += "MM/dd/yy"; break;
      case 'F': picture += "yyyy-MM-dd"; break;
      case '%': picture += '%'; break;
      default: break;  // weekday names and the like have no place in a short date
    }
  }
  return picture;
}

// "C", "POSIX" and "C.UTF-8" carry no regional setting: their %m/%d/%y is a
// placeholder, ambiguous in reports and unlike anything a user would type.
bool posixIsNeutralLocale(const char* name) {
  const std::string locale = name ? name : "C";
  return locale == "C" || locale == "POSIX" || locale.starts_with("C.");
}
}  // namespace

std::string OsShortDatePicture() {
  if (posixIsNeutralLocale(std::setlocale(LC_TIME, nullptr))) return "yyyy-MM-dd";
  const std::string picture = posixPictureFromStrftime(nl_langinfo(D_FMT));
  return picture.empty() ? "MM/dd/yy" : picture;
}
