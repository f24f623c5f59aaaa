#pragma once
// Text routines shared by the whole system. A text is a byte string in the
// system code page; positions count from 1, as in every message and rule of
// the switch library and the filter. The 1-based helpers below are the only
// place where that counting is translated.
#include <bitset>
#include <optional>
#include <string>
#include <string_view>

using TCharSet = std::bitset<256>;

/// The set of the given characters (tested by code: 'a' and 'A' differ).
TCharSet CharSet(std::string_view chars);
/// The characters '0'..'9'.
TCharSet DigitSet();

// --- 1-based helpers ---------------------------------------------------------
/// Position (from 1) of the first occurrence of `sub` in `text`, exact case; 0 if none or `sub` is empty.
int Pos(std::string_view sub, std::string_view text);
/// As Pos, without regard to case (both sides upper-cased by the user locale).
int PosNoCase(std::string_view sub, std::string_view text);
/// `count` characters from position `index` (clipped to the text; empty when out of range).
std::string Copy(std::string_view text, int index, int count);
/// Removes `count` characters from position `index`, in place (nothing when out of range).
void Delete(std::string& text, int index, int count);
/// Inserts `sub` in front of position `index` (clipped to 1..length+1).
void Insert(std::string_view sub, std::string& text, int index);
/// Length as int: texts of the system never reach 2 GiB.
int Length(std::string_view text);

// --- case and trimming --------------------------------------------------------
/// Upper-cased copy by the user locale's single-byte mapping; the length never changes.
std::string UpperCase(std::string_view text);
/// True when both texts are equal after upper-casing.
bool SameText(std::string_view a, std::string_view b);
/// Removes the characters with codes 0 to 32 from both ends.
std::string Trim(std::string_view text);

// --- word and field routines ----------------------------------------------------
/// Removes every character not in `allowed`, in place; returns how many were removed.
int KeepChars(std::string& text, const TCharSet& allowed);
/// Number of words: maximal runs of characters not in `delimiters`. The text is not trimmed.
int WordCount(std::string text, const TCharSet& delimiters);
/// The n-th word (from 1) of the trimmed text; empty when n < 1 or there are fewer words.
std::string WordAt(std::string text, const TCharSet& delimiters, int n);
/// The n-th field (from 1) between occurrences of `separator` (found without regard to case) in the trimmed text.
std::string FieldAt(std::string text, const std::string& separator, int n);
/// Copy of `text` without the `count` characters starting at `start`.
std::string DeleteCopy(const std::string& text, int start, int count);

/// The whole of `text` as a decimal whole number, "-" allowed in front (and
/// "+" where `plusAllowed`), inside [least, most]; nullopt for anything else.
std::optional<long long> ReadInteger(std::string_view text, long long least, long long most,
                                     bool plusAllowed = false);

void StartupStringRoutines();
void ShutdownStringRoutines();
