#pragma once
// The DATE switch's text turned into what the engine compares with: the date
// operator and the reference date as yyyy/mm/dd. Free functions without state.
#include <optional>
#include <string>
#include <vector>

#include "filter/uDateOperator.h"

/// Greater, GreaterEqual, Less or LessEqual when ".GT", ".GE", ".LT" or ".LE"
/// is found anywhere in `text` (case ignored; a later one in this list wins
/// over an earlier one), else Equal. Never fails.
TDateOperator ExtractDateOperator(const std::string& text);

/// How many operators (.eq .gt .ge .lt .le, any case, not followed by a
/// letter) `text` holds, and in `otherLetters` whether letters stand beside
/// them. A text whose letters are not exactly one operator is read as
/// ExtractDateOperator says, which is rarely what its writer meant.
int CountDateOperators(const std::string& text, bool& otherLetters);
/// Where those operators stand: the position (from 0) of each one's ".".
std::vector<std::size_t> DateOperatorPositions(const std::string& text, bool& otherLetters);

/// The operator of a DATE text whose letters are exactly one operator, or
/// Equal for a text without letters (a bare date); nullopt for any other
/// letters (ge-7, .ne-7, .gtx-7, two operators), which ExtractDateOperator
/// would read as something its writer did not mean.
std::optional<TDateOperator> ReadDateOperator(const std::string& text);

/// One condition: an operator and its date as yyyy/mm/dd.
struct TDateCondition {
  TDateOperator Operator = TDateOperator::Equal;
  std::string Date;
};

/// The conditions of a whole DATE text: one (an operator or none, and a
/// date), or two that both must hold, a lower one (.gt, .ge) and an upper one
/// (.lt, .le) in either order, each with its own date, absolute or relative:
/// .ge-7.lt-0 is the seven days before today. Throws EFailure: `badOperator`
/// for letters that are not that, `unknownFormat` for a date that is none.
std::vector<TDateCondition> ReadDateConditions(const std::string& text, const std::string& unknownFormat,
                                               const std::string& badOperator);

/// The date of `text` (operator and blanks allowed around it) as yyyy/mm/dd.
/// Keeps the digits, ",", "-", "." and the short date format's separator,
/// drops one leading "."; "-N" means N days before today. Where the format's
/// separator is "/", which no INI value and no command-line value can hold,
/// "-" stands for it: 12-7-2026 reads as 12/7/2026. Fails with
/// `unknownFormat` as the message for anything that is no date.
std::string NormalizeDate(const std::string& text, const std::string& unknownFormat);
