#include "Bibliothek/uDateRoutines.h"

#include <array>
#include <cstdio>

#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/Plattform/uOsRegistry.h"
#include "Bibliothek/uStringRoutines.h"

namespace {
std::optional<TDate> testToday;
std::optional<std::string> testPicture;

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
  static constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
long long daysFromCivil(long long y, long long m, long long d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, long long& y, long long& m, long long& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = yoe + era * 400 + (m <= 2);
}

std::string number(int value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
  return buffer;
}

// Completes a year written with one or two digits.
int completeYear(int twoDigits, int currentYear) {
  int year = currentYear - currentYear % 100 + twoDigits;
  if (year > currentYear + 49) year -= 100;
  if (year < currentYear - 50) year += 100;
  return year;
}
}  // namespace

TDate Today() {
  if (testToday) return *testToday;
  const TOsDateTime now = OsLocalDateTime();
  return TDate{now.Year, now.Month, now.Day};
}

void SetTodayForTests(std::optional<TDate> date) { testToday = date; }

std::string ShortDatePicture() {
  if (testPicture) return *testPicture;
  // The user's own setting wins, where Windows keeps it (the native build
  // keeps it in the registry file).
  if (auto value = OsRegReadValue("Control Panel\\International", "sShortDate");
      value && value->Type != TRegType::Other && !value->Data.empty())
    return value->Data;
  return OsShortDatePicture();
}

void SetShortDatePictureForTests(std::optional<std::string> picture) { testPicture = std::move(picture); }

char DateSeparator(const std::string& picture) {
  // Quoted text is no separator; a blank only when nothing else separates
  // ("yyyy. MM. dd." is separated by full stops).
  char blank = '\0';
  for (std::size_t i = 0; i < picture.size(); ++i) {
    const char c = picture[i];
    if (c == '\'') {
      const std::size_t close = picture.find('\'', i + 1);
      if (close == std::string::npos) break;
      i = close;
    } else if (c == ' ') {
      blank = c;
    } else if (!isLetter(c)) {
      return c;
    }
  }
  return blank;
}

bool IsValidDate(const TDate& date) {
  return date.Year >= 1 && date.Year <= 9999 && date.Month >= 1 && date.Month <= 12 &&
         date.Day >= 1 && date.Day <= daysInMonth(date.Year, date.Month);
}

std::string FormatShortDate(const TDate& date, const std::string& picture) {
  std::string result;
  std::size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    if (c == '\'') {
      // Quoted literal text, up to the closing quote.
      const std::size_t close = picture.find('\'', i + 1);
      const std::size_t end = close == std::string::npos ? picture.size() : close;
      result.append(picture, i + 1, end - i - 1);
      i = close == std::string::npos ? end : close + 1;
      continue;
    }
    if (c == 'd')
      result += number(date.Day, run == 1 ? 1 : 2);
    else if (c == 'M')
      result += number(date.Month, run == 1 ? 1 : 2);
    else if (c == 'y')
      result += run >= 3 ? number(date.Year, 4) : number(date.Year % 100, run == 1 ? 1 : 2);
    else if (c == 'g')
      ;  // era: none in the Gregorian calendar
    else
      result.append(run, c);
    i += run;
  }
  return result;
}

std::optional<TDate> ParseShortDate(const std::string& text, const std::string& picture) {
  const char separator = DateSeparator(picture) ? DateSeparator(picture) : '.';
  std::array<std::string, 3> numbers;
  std::size_t count = 0, i = 0;
  for (;;) {
    const std::size_t start = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    // Nine digits keep every number inside int.
    if (i == start || i - start > 9 || count == numbers.size()) return std::nullopt;
    numbers[count++] = text.substr(start, i - start);
    if (i == text.size()) break;
    // A switch value cannot hold a "/", so where the picture has one the
    // other date characters stand in for it; they are accepted everywhere.
    if (text[i] != separator && text[i] != '.' && text[i] != ',' && text[i] != '-') return std::nullopt;
    if (++i == text.size()) break;  // one trailing separator
  }
  if (count < 2) return std::nullopt;

  // The order of the fields is the order of their first letters in the picture;
  // a field the picture lacks comes after those it has.
  struct TOrder {
    char Letter;
    std::size_t Where;
  };
  std::array<TOrder, 3> order{{{'d', picture.find('d')}, {'M', picture.find('M')}, {'y', picture.find('y')}}};
  for (std::size_t a = 1; a < order.size(); ++a)
    for (std::size_t b = a; b > 0 && order[b].Where < order[b - 1].Where; --b) std::swap(order[b], order[b - 1]);

  const int currentYear = Today().Year;
  TDate date{currentYear, 0, 0};
  std::size_t next = 0;
  for (const TOrder& field : order) {
    if (field.Letter == 'y' && count == 2) continue;
    const std::string& digits = numbers[next++];
    const int value = static_cast<int>(ReadInteger(digits, 0, 999999999).value_or(0));
    if (field.Letter == 'd')
      date.Day = value;
    else if (field.Letter == 'M')
      date.Month = value;
    else
      date.Year = digits.size() <= 2 ? completeYear(value, currentYear) : value;
  }
  if (!IsValidDate(date)) return std::nullopt;
  return date;
}

std::optional<TDate> AddDays(const TDate& date, long long days) {
  // Beyond this no result can lie inside the years 1 to 9999.
  constexpr long long limit = 10000LL * 366;
  if (days > limit || days < -limit) return std::nullopt;
  long long y, m, d;
  civilFromDays(daysFromCivil(date.Year, date.Month, date.Day) + days, y, m, d);
  const TDate result{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
  if (!IsValidDate(result)) return std::nullopt;
  return result;
}
