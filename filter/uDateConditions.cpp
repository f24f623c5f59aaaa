#include "filter/uDateConditions.h"

#include <cstdio>
#include <limits>

#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uStringRoutines.h"
#include "app/uQuilletConstants.h"

namespace {
[[noreturn]] void failDateFormat() { throw EFailure(uQuilletConstants::SDateFormatUnknown); }

// A decimal whole number with an optional minus sign, inside 32 bits.
bool readInteger(const std::string& text, long long& value) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  if (i == text.size()) return false;
  value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) return false;
  }
  if (negative) value = -value;
  return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}
}  // namespace

std::string ExtractDateOperator(const std::string& text) {
  const std::string upper = UpperCase(text);
  std::string result = ".EQ";
  for (const char* candidate : {".GT", ".GE", ".LT", ".LE"})
    if (Pos(candidate, upper) > 0) result = candidate;
  return result;
}

std::string NormalizeDate(const std::string& text) {
  const std::string picture = ShortDatePicture();
  std::string t = text;
  // The format's own separator is a date character too, so that formats
  // written with "/" or a blank can be read, today's date included.
  TCharSet dateChars = DigitSet() | CharSet(",-.");
  if (const char separator = DateSeparator(picture)) dateChars.set(static_cast<unsigned char>(separator));
  KeepChars(t, dateChars);
  // A blank kept as the separator must not stand between the operator and
  // the date: ".ge -7" reads like ".ge-7" in every format.
  auto trimBlanks = [](std::string& s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  };
  trimBlanks(t);

  if (t.empty()) failDateFormat();
  if (t[0] == '.') Delete(t, 1, 1);
  trimBlanks(t);
  if (t.empty()) failDateFormat();
  if (t[0] == '-') {
    Delete(t, 1, 1);
    long long days = 0;
    if (!readInteger(t, days)) failDateFormat();
    const std::optional<TDate> date = AddDays(Today(), -days);
    if (!date) failDateFormat();
    t = FormatShortDate(*date, picture);
  }
  const std::optional<TDate> date = ParseShortDate(t, picture);
  if (!date) failDateFormat();
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d", date->Year, date->Month, date->Day);
  return buffer;
}
