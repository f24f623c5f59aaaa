#pragma once
// The DATE switch's text turned into what the engine compares with: the date
// operator and the reference date as yyyy/mm/dd. Free functions without state.
#include <string>

/// ".GT", ".GE", ".LT" or ".LE" when found anywhere in `text` (case ignored;
/// a later one in this list wins over an earlier one), else ".EQ". Never fails.
std::string ExtractDateOperator(const std::string& text);

/// The date of `text` (operator and blanks allowed around it) as yyyy/mm/dd.
/// Keeps the digits, ",", "-", "." and the short date format's separator,
/// drops one leading "."; "-N" means N days before today. Fails with the
/// message SDateFormatUnknown for anything that is no date.
std::string NormalizeDate(const std::string& text);
