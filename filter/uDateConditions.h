#pragma once
// The DATE switch's text turned into what the engine compares with: the date
// operator and the reference date as yyyy/mm/dd. Free functions without state.
#include <string>

#include "filter/uDateOperator.h"

/// Greater, GreaterEqual, Less or LessEqual when ".GT", ".GE", ".LT" or ".LE"
/// is found anywhere in `text` (case ignored; a later one in this list wins
/// over an earlier one), else Equal. Never fails.
TDateOperator ExtractDateOperator(const std::string& text);

/// The date of `text` (operator and blanks allowed around it) as yyyy/mm/dd.
/// Keeps the digits, ",", "-", "." and the short date format's separator,
/// drops one leading "."; "-N" means N days before today. Fails with
/// `unknownFormat` as the message for anything that is no date.
std::string NormalizeDate(const std::string& text, const std::string& unknownFormat);
