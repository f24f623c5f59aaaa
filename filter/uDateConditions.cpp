#include "filter/uDateConditions.h"

#include <cstdio>
#include <limits>
#include <optional>
#include <string_view>

#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uStringRoutines.h"

namespace {
const char* const OperatorTexts[] = {".EQ", ".GT", ".GE", ".LT", ".LE"};

[[noreturn]] void fail(const std::string& message) { throw EFailure(message); }


// A date written year first: four digits, then month and day, each behind one
// of `separators`, and at most one separator at the end.
std::optional<TDate> readIsoDate(const std::string& text, const std::string& separators) {
  int fields[3] = {0, 0, 0};
  std::size_t i = 0;
  for (int field = 0; field < 3; ++field) {
    if (field > 0) {
      if (i >= text.size() || separators.find(text[i]) == std::string::npos) return std::nullopt;
      ++i;
    }
    const std::size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    const std::size_t digits = i - start;
    if (field == 0 ? digits != 4 : digits < 1 || digits > 2) return std::nullopt;
    fields[field] = static_cast<int>(*ReadInteger(std::string_view(text).substr(start, digits), 0, 9999));
  }
  if (i < text.size() && separators.find(text[i]) != std::string::npos) ++i;
  if (i != text.size()) return std::nullopt;
  const TDate date{fields[0], fields[1], fields[2]};
  if (!IsValidDate(date)) return std::nullopt;
  return date;
}
}  // namespace

std::string DateOperatorText(TDateOperator op) { return OperatorTexts[static_cast<int>(op)]; }

std::optional<TDateOperator> DateOperatorFromText(std::string_view text) {
  std::string upper(text);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (int i = 0; i < 5; ++i)
    if (upper == OperatorTexts[i]) return static_cast<TDateOperator>(i);
  return std::nullopt;
}

TDateOperator ExtractDateOperator(const std::string& text) {
  const std::string upper = UpperCase(text);
  TDateOperator result = TDateOperator::Equal;
  for (TDateOperator candidate :
       {TDateOperator::Greater, TDateOperator::GreaterEqual, TDateOperator::Less, TDateOperator::LessEqual})
    if (Pos(DateOperatorText(candidate), upper) > 0) result = candidate;
  return result;
}

int CountDateOperators(const std::string& text, bool& otherLetters) {
  return static_cast<int>(DateOperatorPositions(text, otherLetters).size());
}

std::vector<std::size_t> DateOperatorPositions(const std::string& text, bool& otherLetters) {
  const std::string upper = UpperCase(text);
  auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  std::vector<std::size_t> positions;
  otherLetters = false;
  for (std::size_t i = 0; i < upper.size(); ++i) {
    if (!isLetter(upper[i])) continue;
    std::size_t end = i;
    while (end < upper.size() && isLetter(upper[end])) ++end;
    const bool isOperator = i > 0 && upper[i - 1] == '.' && end - i == 2 &&
                            DateOperatorFromText(upper.substr(i - 1, 3)).has_value();
    if (isOperator)
      positions.push_back(i - 1);
    else
      otherLetters = true;
    i = end - 1;
  }
  return positions;
}

std::optional<TDateOperator> ReadDateOperator(const std::string& text) {
  bool otherLetters = false;
  const int operators = CountDateOperators(text, otherLetters);
  if (otherLetters || operators > 1) return std::nullopt;
  return ExtractDateOperator(text);
}

std::vector<TDateCondition> ReadDateConditions(const std::string& text, const std::string& unknownFormat,
                                               const std::string& badOperator) {
  // A second operator starts the second condition.
  bool otherLetters = false;
  const std::vector<std::size_t> operators = DateOperatorPositions(text, otherLetters);
  if (operators.size() > 2) throw EFailure(badOperator);
  std::vector<std::string> parts = {text};
  if (operators.size() == 2 && !otherLetters)
    parts = {text.substr(0, operators[1]), text.substr(operators[1])};
  // A text that is no date keeps its message; a date with letters that are
  // not one operator gets the operator's.
  std::vector<TDateCondition> conditions;
  for (const std::string& part : parts) {
    std::string date = NormalizeDate(part, unknownFormat);
    const std::optional<TDateOperator> op = ReadDateOperator(part);
    if (!op) throw EFailure(badOperator);
    conditions.push_back({*op, std::move(date)});
  }
  if (conditions.size() == 2) {
    auto isLower = [](TDateOperator op) { return op == TDateOperator::Greater || op == TDateOperator::GreaterEqual; };
    auto isUpper = [](TDateOperator op) { return op == TDateOperator::Less || op == TDateOperator::LessEqual; };
    if (!(isLower(conditions[0].Operator) && isUpper(conditions[1].Operator)) &&
        !(isUpper(conditions[0].Operator) && isLower(conditions[1].Operator)))
      throw EFailure(badOperator);
  }
  return conditions;
}

std::string NormalizeDate(const std::string& text, const std::string& unknownFormat) {
  const std::string picture = ShortDatePicture();
  // The format's own separator is a date character too, so that formats
  // written with "/" or a blank can be read, today's date included. A date
  // the program writes itself (the relative form) gets the same clean-up as
  // the user's text: pictures such as "yyyy. MM. dd." or "d.M.yyyy 'x'" write
  // blanks and literal text that the reading does not take.
  TCharSet dateChars = DigitSet() | CharSet(",-.");
  if (const char separator = DateSeparator(picture)) dateChars.set(static_cast<unsigned char>(separator));
  // A blank kept as the separator must not stand between the operator and
  // the date: ".ge -7" reads like ".ge-7" in every format.
  auto trimBlanks = [](std::string& s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  };
  auto cleanUp = [&](std::string& s) {
    KeepChars(s, dateChars);
    trimBlanks(s);
  };
  std::string t = text;
  cleanUp(t);

  if (t.empty()) fail(unknownFormat);
  if (t[0] == '.') Delete(t, 1, 1);
  trimBlanks(t);
  if (t.empty()) fail(unknownFormat);
  if (t[0] == '-') {
    Delete(t, 1, 1);
    const std::optional<long long> days =
        ReadInteger(t, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    if (!days) fail(unknownFormat);
    const std::optional<TDate> date = AddDays(Today(), -*days);
    if (!date) fail(unknownFormat);
    t = FormatShortDate(*date, picture);
    cleanUp(t);
  }
  // A first number of four digits is a year, in every picture: none begins
  // with a four-digit day or month, so 2026-12-01 cannot be misread.
  std::optional<TDate> date = readIsoDate(t, std::string(".-") + DateSeparator(picture));
  if (DateSeparator(picture) == '/' && t.find('/') == std::string::npos)
    for (char& c : t)
      if (c == '-') c = '/';
  if (!date) date = ParseShortDate(t, picture);
  if (!date) fail(unknownFormat);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d", date->Year, date->Month, date->Day);
  return buffer;
}
