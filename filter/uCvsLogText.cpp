#include "filter/uCvsLogText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "Bibliothek/uStringRoutines.h"
#include "filter/uByteSearch.h"

static_assert(TSkipTargets::RowEndAt == EndRowLength - 1, "the skip scan finds end rows by their length");

bool StartsWith(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (text[i] != prefix[i]) return false;
  return true;
}

bool IsRowOf(std::string_view line, char c, std::size_t count) {
  std::size_t end = line.size();
  while (end > count && IsTrailingBlank(line[end - 1])) --end;
  if (end != count) return false;
  // Eight bytes a step: every section ends in a row of 77.
  const std::uint64_t row = 0x0101010101010101u * static_cast<unsigned char>(c);
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, line.data() + i, sizeof word);
    if (word != row) return false;
  }
  for (; i < count; ++i)
    if (line[i] != c) return false;
  return true;
}


bool IsEndRow(std::string_view line) { return IsRowOf(line, '=', EndRowLength); }

bool IsDashRow(std::string_view line) { return IsRowOf(line, '-', DashRowLength); }

bool IsRevisionRow(std::string_view line) { return StartsWith(line, RevisionLabel); }

int RevisionHeaderStep(int step, std::string_view line) {
  if (IsDashRow(line)) return 1;
  return step == 1 && IsRevisionRow(line) ? 2 : 0;
}


bool EqualsNoCase(const TUpperCaseTable& upper, std::string_view text, std::string_view upperPattern) {
  if (text.size() != upperPattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (Up(upper, text[i]) != static_cast<unsigned char>(upperPattern[i])) return false;
  return true;
}

bool SameNoCase(const TUpperCaseTable& upper, std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Up(upper, a[i]) != Up(upper, b[i])) return false;
  return true;
}

bool IsSectionStart(const TUpperCaseTable& upper, std::string_view line, std::string_view upperLabel) {
  return line.size() >= upperLabel.size() && EqualsNoCase(upper, line.substr(0, upperLabel.size()), upperLabel);
}

std::size_t FindLabel(const TUpperCaseTable& upper, std::string_view line, std::string_view upperLabel,
                      std::size_t firstColon) {
  const std::size_t front = upperLabel.size() - 1;
  std::size_t from = std::max(front, firstColon);
  while (from < line.size()) {
    const std::size_t colon = FindByte(line, ':', from);
    if (colon == std::string_view::npos) return colon;
    // Compared from the colon backwards: most colons follow a digit or a
    // letter other than the label's last one and fail at once.
    std::size_t k = front;
    while (k > 0 && Up(upper, line[colon - front + k - 1]) == static_cast<unsigned char>(upperLabel[k - 1])) --k;
    if (k == 0) return colon + 1;
    from = colon + 1;
  }
  return std::string_view::npos;
}

// --- dates ------------------------------------------------------------------------

// 1-based, clipped like Copy, without copying.
static std::string_view part(std::string_view text, std::size_t index, std::size_t count) {
  if (index < 1 || index > text.size()) return {};
  return text.substr(index - 1, count);
}

// A decimal whole number: optional sign, then digits ("05" is 5).
static bool toInteger(std::string_view text, int& value) {
  const std::optional<long long> read = ReadInteger(text, -999999999, 999999999, true);
  if (read) value = static_cast<int>(*read);
  return read.has_value();
}

bool CompareDates(std::string_view entry, std::string_view reference, TDateOperator op) {
  if (op == TDateOperator::Equal)
    return part(entry, 1, 4) == part(reference, 1, 4) && part(entry, 6, 2) == part(reference, 6, 2) &&
           part(entry, 9, 2) == part(reference, 9, 2);
  const bool greater = op == TDateOperator::Greater || op == TDateOperator::GreaterEqual;
  const bool orEqual = op == TDateOperator::GreaterEqual || op == TDateOperator::LessEqual;
  auto holds = [greater](int e, int r) { return greater ? e > r : e < r; };
  bool answer = false;
  int e = 0, r = 0;
  if (part(entry, 1, 4) == part(reference, 1, 4)) {
    if (part(entry, 6, 2) == part(reference, 6, 2)) {
      if (!toInteger(part(entry, 9, 2), e) || !toInteger(part(reference, 9, 2), r)) return false;
      if (holds(e, r) || (orEqual && e == r)) answer = true;
    }
    if (!toInteger(part(entry, 6, 2), e) || !toInteger(part(reference, 6, 2), r)) return false;
    if (holds(e, r)) answer = true;
  }
  if (!toInteger(part(entry, 1, 4), e) || !toInteger(part(reference, 1, 4), r)) return false;
  if (holds(e, r)) answer = true;
  return answer;
}

// --- archive paths ----------------------------------------------------------------

std::string_view ArchivePath(std::string_view line) {
  const std::size_t start = SectionLabel.size() + 1;
  const std::size_t comma = line.find(',');
  if (comma == std::string_view::npos || comma <= start) return {};
  return line.substr(start, comma - start);
}

static bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Where the path below `root` starts in `archive`; npos when `root` does
// not prefix it at a whole component.
static std::size_t belowRoot(std::string_view archive, const TRepositoryRoot& root) {
  const std::string& prefix = root.Path;
  if (archive.size() <= prefix.size()) return std::string_view::npos;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char a = archive[i], r = prefix[i];
    const bool same = isSeparator(r) ? isSeparator(a)
                      : root.Upper   ? Up(*root.Upper, a) == Up(*root.Upper, r)
                                     : a == r;
    if (!same) return std::string_view::npos;
  }
  if (!isSeparator(archive[prefix.size()])) return std::string_view::npos;
  std::size_t below = prefix.size();
  while (below < archive.size() && isSeparator(archive[below])) ++below;
  return below;
}

void WithoutRoot(std::string_view archive, const TRepositoryRoot& root, std::string& path) {
  if (root.Set) {
    if (const std::size_t below = belowRoot(archive, root); below != std::string_view::npos) {
      path.assign(archive.substr(below));
      return;
    }
  }
  path.assign(archive);
  const std::size_t data = path.find("/DATA");
  if (data != std::string::npos && (data + 5 == path.size() || path[data + 5] == '/')) path.erase(data, 5);
  const std::size_t cvsroot = path.find("/cvsroot/");
  if (cvsroot != std::string::npos) path.erase(0, cvsroot + 9);
}

std::string_view FolderParts(std::string_view path, std::size_t maxDepth, std::vector<std::string>& folders) {
  std::size_t count = 0, start = 0;
  for (std::size_t slash; (slash = FindByte(path, '/', start)) != std::string_view::npos; start = slash + 1) {
    const std::string_view folder = path.substr(start, slash + 1 - start);
    if (count == maxDepth) {
      folders[count - 1].append(folder);
      continue;
    }
    if (count == folders.size()) folders.emplace_back();
    folders[count++].assign(folder);
  }
  folders.resize(count);
  return path.substr(start);
}
