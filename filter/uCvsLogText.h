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

#include "filter/uByteSearch.h"
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

inline bool IsTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// `text` begins with `prefix`. (A loop, as short compares through the C
// library cost a call each, and a slow one in the Windows build.)
bool StartsWith(std::string_view text, std::string_view prefix);

// `line` is `count` times `c`, then nothing but trailing blanks.
bool IsRowOf(std::string_view line, char c, std::size_t count);

bool IsEndRow(std::string_view line);

bool IsDashRow(std::string_view line);

bool IsRevisionRow(std::string_view line);

// The rows right above a revision's own date line, as a scan meets them one
// after the other: the step after `line` given the step before it (0: none,
// 1: a row of dashes, 2: that row and then the revision number line).
// A date line stands at step 2. Every scan asks this one rule.
int RevisionHeaderStep(int step, std::string_view line);

inline unsigned char Up(const TUpperCaseTable& upper, char c) { return upper[static_cast<unsigned char>(c)]; }

// `text` equals `upperPattern` without regard to case.
bool EqualsNoCase(const TUpperCaseTable& upper, std::string_view text, std::string_view upperPattern);

// `a` equals `b` without regard to case.
bool SameNoCase(const TUpperCaseTable& upper, std::string_view a, std::string_view b);

// A section starts at a line that begins with the label, in any case.
bool IsSectionStart(const TUpperCaseTable& upper, std::string_view line, std::string_view upperLabel);

// Position just behind the first `upperLabel` (which ends with ":") in `line`,
// found without regard to case; npos when there is none. Only the colons are
// looked for, so ordinary lines cost one search.
std::size_t FindLabel(const TUpperCaseTable& upper, std::string_view line, std::string_view upperLabel,
                      std::size_t firstColon);

// Orders by year, then month, then day, as numbers; Equal compares the texts.
// A part that has to be converted and is no whole number makes the dates
// incomparable: false.
bool CompareDates(std::string_view entry, std::string_view reference, TDateOperator op);

// The archive path of a section's first line: behind the label and one more
// character, up to the line's first comma.
std::string_view ArchivePath(std::string_view line);

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
void WithoutRoot(std::string_view archive, const TRepositoryRoot& root, std::string& path);

// The folder parts of `path`, each with its "/", at most `maxDepth` of them
// (the last one then holds the deeper levels), into `folders`, whose strings'
// room is reused; returns the file name behind them.
std::string_view FolderParts(std::string_view path, std::size_t maxDepth, std::vector<std::string>& folders);
