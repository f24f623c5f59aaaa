#pragma once
// What the lines of a cvs log mean: the rows that give a log its structure
// (section start, a revision's header rows, end row), the labels of a
// revision's date line, the date compare, and a section's archive path with
// the repository's root cut off. Pure text: no files, no state.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "filter/uDateOperator.h"

/// The user locale's upper-case mapping of every byte.
using TUpperCaseTable = std::array<unsigned char, 256>;

// What cvs writes around a revision and a section.
inline const std::string SectionLabel = "RCS file:";
inline const std::string RevisionLabel = "revision ";
constexpr std::size_t DashRowLength = 28;
constexpr std::size_t EndRowLength = 77;
// Each level of the report's tree stands this much deeper than the one above.
constexpr std::size_t TreeIndent = 4;

inline bool isBreak(char c) { return c == '\n' || c == '\r'; }
inline bool isTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// `text` begins with `prefix`. (A loop, as short compares through the C
// library cost a call each, and a slow one in the Windows build.)
bool startsWith(std::string_view text, std::string_view prefix);

// `line` is `count` times `c`, then nothing but trailing blanks.
bool isRowOf(std::string_view line, char c, std::size_t count);

bool isEndRow(std::string_view line);

bool isDashRow(std::string_view line);

bool isRevisionRow(std::string_view line);

inline unsigned char up(const TUpperCaseTable& upper, char c) { return upper[static_cast<unsigned char>(c)]; }

// `text` equals `upperPattern` without regard to case.
bool equalsNoCase(const TUpperCaseTable& upper, std::string_view text, std::string_view upperPattern);

// `a` equals `b` without regard to case.
bool sameNoCase(const TUpperCaseTable& upper, std::string_view a, std::string_view b);

// A section starts at a line that begins with the label, in any case.
bool isSectionStart(const TUpperCaseTable& upper, std::string_view line, std::string_view upperLabel);

// Position just behind the first `upperLabel` (which ends with ":") in `line`,
// found without regard to case; npos when there is none. Only the colons are
// looked for, so ordinary lines cost one search.
std::size_t findLabel(const TUpperCaseTable& upper, std::string_view line, std::string_view upperLabel,
                      std::size_t firstColon);

// Orders by year, then month, then day, as numbers; Equal compares the texts.
// A part that has to be converted and is no whole number makes the dates
// incomparable: false.
bool compareDates(std::string_view entry, std::string_view reference, TDateOperator op);

// The archive path of a section's first line: behind the label and one more
// character, up to the line's first comma.
std::string_view archivePath(std::string_view line);

// The repository root a user named, to leave out of the tree: "/" and "\\"
// in it each match either separator, and it ends at a whole component.
struct TRepositoryRoot {
  std::string Path;  // without separators at its end; empty with Set: the file system's root
  bool Set = false;
  const TUpperCaseTable* Upper = nullptr;  // compared without regard to case by it; none: exactly
};

// The path below the repository's root: behind `root` where it prefixes the
// archive path; else a whole "/DATA" component goes, then everything up to
// the first "/cvsroot/". Into `path`, whose room is reused.
void withoutRoot(std::string_view archive, const TRepositoryRoot& root, std::string& path);

// The folder parts of `path`, each with its "/", at most `maxDepth` of them
// (the last one then holds the deeper levels), into `folders`, whose strings'
// room is reused; returns the file name behind them.
std::string_view folderParts(std::string_view path, std::size_t maxDepth, std::vector<std::string>& folders);
