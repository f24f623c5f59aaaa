#include "filter/uLogScan.h"

namespace {
bool skipScanAllowed = true;
}  // namespace

void SetSkipScan(bool allowed) { skipScanAllowed = allowed; }
bool SkipScanAllowed() { return skipScanAllowed; }

#include <algorithm>

std::optional<TSkipTargets> TargetsFor(const TUpperCaseTable& upper, std::string_view text, std::size_t middleAt,
                                       bool endRows) {
  if (text.size() < 2 || middleAt >= text.size()) return std::nullopt;
  const unsigned char first = static_cast<unsigned char>(text.front()), last = static_cast<unsigned char>(text.back());
  const unsigned char middle = static_cast<unsigned char>(text[middleAt]);
  for (std::size_t b = 0; b < upper.size(); ++b)
    for (const unsigned char c : {first, middle, last})
      if (upper[b] == upper[c] && (b | 0x20) != (c | 0x20u)) return std::nullopt;
  return TSkipTargets{static_cast<unsigned char>(first | 0x20), static_cast<unsigned char>(middle | 0x20),
                      static_cast<unsigned char>(last | 0x20), middleAt, text.size() - 1, endRows};
}

std::optional<TSkipTargets> TargetsForAuthors(const TUpperCaseTable& upper, const std::string& upperLabel,
                                              const std::vector<std::string>& upperNames) {
  // Each name's last letter at its own distance, as for one author; the
  // longest name's is the main one. More names than the search compares at
  // once: a stop at every author's label, each then testing the name only.
  std::vector<std::string> names = upperNames;
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  if (names.size() > 1 + TSkipTargets::MaxOthers) return TargetsFor(upper, upperLabel, upperLabel.size() - 1, true);
  std::optional<TSkipTargets> targets;
  for (const std::string& name : names) {
    const std::optional<TSkipTargets> own = TargetsFor(upper, upperLabel + " " + name, upperLabel.size() - 1, true);
    if (!own) return own;
    if (!targets) {
      targets = own;
    } else {
      targets->OtherSpans[targets->OtherCount] = own->Span;
      targets->OtherLasts[targets->OtherCount++] = own->Last;
    }
  }
  return targets;
}

// `name` is one of `upperNames` without regard to case.
static bool isListedAuthor(const TUpperCaseTable& upper, std::string_view name,
                           const std::vector<std::string>& upperNames) {
  for (const std::string& candidate : upperNames)
    if (EqualsNoCase(upper, name, candidate)) return true;
  return false;
}

// While nothing is copied, only few lines can change anything: a section
// start while none is open, an end row, and a revision's date line whose
// author may be the one looked for. The reader skips to the next such line.
void TLogScan::SkipToCandidate() {
  const TUpperCaseTable& upper = FRules.Upper;
  auto beginsWith = [&upper](const char* at, const char* end, const std::string& upperText) {
    if (static_cast<std::size_t>(end - at) < upperText.size()) return false;
    for (std::size_t k = 0; k < upperText.size(); ++k)
      if (Up(upper, at[k]) != static_cast<unsigned char>(upperText[k])) return false;
    return true;
  };
  bool dateLine = false;
  auto mayMatter = [&](const char* begin, const char* at, const char* end) {
    dateLine = false;
    const bool lineStart = at == begin || IsBreak(at[-1]);
    if (*at == '=' && FSection != TSection::Closed) {
      if (!lineStart) return false;
      const char* lineEnd = FindLineBreak(at, end);
      if (lineEnd != end) return IsEndRow(std::string_view(at, static_cast<std::size_t>(lineEnd - at)));
      // A line that goes on beyond the buffer: whether it is an end row is
      // seen when it is whole, and it may as well be a revision's date line.
      dateLine = FSection == TSection::Open && FLines.FollowsRevisionHeader(at);
      return true;
    }
    if (FSection == TSection::Closed) return lineStart && beginsWith(at, end, FRules.SectionLabel);
    if (FSection != TSection::Open || !beginsWith(at, end, FRules.AuthorLabel)) return false;
    if (!FRules.Author.empty()) {
      // As AuthorMatches: the name starts one character behind the colon and
      // runs to a ";" or the end of the line.
      const char* name = at + FRules.AuthorLabel.size() + 1;
      if (IsBreak(name[-1])) return false;
      for (std::size_t i = 0; i < FRules.Author.size(); ++i)
        if (Up(upper, name[i]) != Up(upper, FRules.Author[i])) return false;
      const char* behind = name + FRules.Author.size();
      if (behind < end && *behind != ';' && !IsBreak(*behind)) return false;
    } else if (!FRules.Authors.empty()) {
      // The same for several; a name that goes on beyond the buffer is tested
      // when its line is read.
      const char* name = at + FRules.AuthorLabel.size() + 1;
      if (name > end || IsBreak(name[-1])) return false;
      const char* behind = name;
      while (behind < end && *behind != ';' && !IsBreak(*behind)) ++behind;
      if (behind < end &&
          !isListedAuthor(upper, std::string_view(name, static_cast<std::size_t>(behind - name)), FRules.Authors))
        return false;
    }
    const char* const dateLineStart = LineStartOf(begin, at);
    if (!FLines.FollowsRevisionHeader(dateLineStart)) return false;
    dateLine = true;
    // A date line held whole is tested here, so that the author's revisions
    // on other dates cost no stop (the date first: most fail it); one that
    // goes on beyond the buffer is tested when it is read.
    const char* const lineEnd = FindLineBreak(at, end);
    if (lineEnd == end) return true;
    const std::string_view line(dateLineStart, static_cast<std::size_t>(lineEnd - dateLineStart));
    return PicksFile(line, FindByte(line, ':'), /*belowRevisionHeader (seen above)=*/true);
  };
  FLines.SkipAhead(FSection == TSection::Closed ? *FRules.ClosedTargets : *FRules.OpenTargets, mayMatter);
  // The stop is a revision's date line when the test that chose it said so.
  if (FSection == TSection::Open) FRevisionStep = dateLine ? 2 : 0;
}

void TLogScan::ScanLine(std::string_view line) {
  switch (FSection) {
    case TSection::Closed:
      if (IsSectionStart(FRules.Upper, line, FRules.SectionLabel)) {
        FSectionLine.assign(line);
        FSection = TSection::Open;
        FSawSection = true;
        FRevisionStep = 0;
      }
      return;
    case TSection::Copying:
    case TSection::Passing:
      if (IsEndRow(line))
        FSection = TSection::Closed;
      else if (FSection == TSection::Copying)
        FReport.CopiedLine(line);
      return;
    case TSection::Open:
      if (IsEndRow(line)) {
        FSection = TSection::Closed;
        return;
      }
      if (PicksFile(line, FLines.FirstColon(), FRevisionStep == 2)) {
        FSection = FReport.FileLines(FSectionLine, FRules.Root) ? TSection::Copying : TSection::Passing;
        return;
      }
      FRevisionStep = RevisionHeaderStep(FRevisionStep, line);
      return;
  }
}

// A piece of a long line: no row the rules look for, so it is copied or passed over.
void TLogScan::ScanPiece(std::string_view piece) {
  const TLinePart part = FLines.Part();
  if (FSection == TSection::Copying)
    FReport.CopiedPiece(piece, part == TLinePart::First, part == TLinePart::Last);
  else if (FSection == TSection::Open)
    FRevisionStep = 0;
}

bool TLogScan::PicksFile(std::string_view line, std::size_t firstColon, bool belowRevisionHeader) const {
  // The author test is the cheaper one, and most lines fail it.
  return belowRevisionHeader && firstColon != std::string_view::npos && AuthorMatches(line, firstColon) &&
         DateMatches(line, firstColon);
}

bool TLogScan::DateMatches(std::string_view line, std::size_t firstColon) const {
  const std::size_t after = FindLabel(FRules.Upper, line, FRules.DateLabel, firstColon);
  if (after == std::string_view::npos) return false;
  // Skip the one character behind the colon, then take up to the first blank.
  std::string_view entry = line.substr(std::min(after + 1, line.size()));
  entry = entry.substr(0, FindByte(entry, ' '));
  return CompareDates(entry, FRules.Date, FRules.Operator) &&
         (FRules.SecondDate.empty() || CompareDates(entry, FRules.SecondDate, FRules.SecondOperator));
}

bool TLogScan::AuthorMatches(std::string_view line, std::size_t firstColon) const {
  const std::size_t after = FindLabel(FRules.Upper, line, FRules.AuthorLabel, firstColon);
  if (after == std::string_view::npos) return false;
  if (FRules.Author.empty() && FRules.Authors.empty()) return true;
  std::string_view name = line.substr(std::min(after + 1, line.size()));
  name = name.substr(0, FindByte(name, ';'));
  if (FRules.Author.empty()) return isListedAuthor(FRules.Upper, name, FRules.Authors);
  if (name.size() != FRules.Author.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (Up(FRules.Upper, name[i]) != Up(FRules.Upper, FRules.Author[i])) return false;
  return true;
}
