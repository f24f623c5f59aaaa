#pragma once
// Calendar dates in the user's short date format: today's date, writing a date
// in a Windows date picture (dd.MM.yyyy, M/d/yyyy, yyyy-MM-dd, d-M-yy ...) and
// reading one back in the picture's order of day, month and year. Shared by the
// program's DATE default, the date conditions and the report header.
#include <optional>
#include <string>

struct TDate {
  int Year = 0, Month = 0, Day = 0;
  bool operator==(const TDate&) const = default;
};

/// The current local date (OsLocalDateTime), unless a test set one.
TDate Today();
/// Makes Today() answer `date`; nullopt restores the clock. Used by tests.
void SetTodayForTests(std::optional<TDate> date);

/// The user's short date picture, unless a test set one: sShortDate of the
/// registry key Control Panel\International when set, else OsShortDatePicture.
std::string ShortDatePicture();
/// Makes ShortDatePicture() answer `picture`; nullopt restores the platform's. Used by tests.
void SetShortDatePictureForTests(std::optional<std::string> picture);

/// The picture's first character outside quotes that is neither a letter nor
/// a blank; a blank when only blanks separate; '\0' when nothing does.
char DateSeparator(const std::string& picture);

/// True for a day of the Gregorian calendar in the years 1 to 9999.
bool IsValidDate(const TDate& date);

/// `date` written in `picture`: d/dd day, M/MM month (more letters: two digits),
/// y/yy the year's last two digits (y without a leading zero), yyy and more the
/// whole year with at least four digits; text in single quotes is copied as it
/// is, any other character too.
std::string FormatShortDate(const TDate& date, const std::string& picture);

/// Reads `text` as a date in `picture`'s order of day, month and year: three
/// numbers separated by the picture's separator or by ".", "," or "-"; two numbers are day and month
/// in that order, in the current year; one trailing separator is accepted and
/// nothing else may follow. A year of one or two digits is completed to the
/// year in [current year - 50, current year + 49] that ends in them. Nullopt
/// for anything else and for a day that does not exist.
std::optional<TDate> ParseShortDate(const std::string& text, const std::string& picture);

/// `date` moved by `days` (negative: into the past); nullopt when the result
/// leaves the years 1 to 9999.
std::optional<TDate> AddDays(const TDate& date, long long days);
