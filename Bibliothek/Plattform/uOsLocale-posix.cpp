// POSIX side of uOsLocale.h.
#include "Bibliothek/Plattform/uOsLocale.h"

#include <cctype>
#include <clocale>
#include <ctime>
#include <langinfo.h>
#include <string>

#include "Bibliothek/Plattform/uOsRegistry.h"

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
  // The user's own setting wins, where Windows keeps it.
  if (auto value = OsRegReadValue("Control Panel\\International", "sShortDate");
      value && value->Type != TOsRegType::Other && !value->Data.empty())
    return value->Data;
  if (posixIsNeutralLocale(std::setlocale(LC_TIME, nullptr))) return "yyyy-MM-dd";
  const std::string picture = posixPictureFromStrftime(nl_langinfo(D_FMT));
  return picture.empty() ? "MM/dd/yy" : picture;
}
