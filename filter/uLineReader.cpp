#include "filter/uLineReader.h"

std::size_t TLineReader::FirstColon() {
  const std::size_t lineEnd = FBegin;  // at least one past the line's last character
  if (FColon == NotSearched || FColon < FLineStart) {
    const char* const data = Text();
    FColon = static_cast<std::size_t>(FindEither(data + FLineStart, data + FEnd, ':', ':') - data);
  }
  return FColon < lineEnd && FColon < FEnd ? FColon - FLineStart : std::string_view::npos;
}

bool TLineReader::FollowsRevisionHeader(const char* lineStart) const {
  std::string_view numberLine, dashRow;
  return LineAbove(lineStart, numberLine) && LineAbove(numberLine.data(), dashRow) &&
         RevisionHeaderStep(RevisionHeaderStep(0, dashRow), numberLine) == 2;
}

bool TLineReader::LineAbove(const char* lineStart, std::string_view& line) const {
  const char* const floor = Text();
  if (lineStart == floor) return false;
  const char* lineEnd = lineStart - 1;
  if (*lineEnd == '\n' && lineEnd > floor && lineEnd[-1] == '\r') --lineEnd;
  const char* const start = LineStartOf(floor, lineEnd);
  if (start == floor && !FFloorIsLineStart) return false;
  line = std::string_view(start, static_cast<std::size_t>(lineEnd - start));
  return true;
}

void TLineReader::Fill() {
  // Keep the text above the current line that FollowsRevisionHeader looks at,
  // placed so that the bytes read next land as they lie in the file (see
  // CopyAlignment).
  const std::size_t keepFrom = HistoryStart();
  if (keepFrom > 0 || FEnd == 0) {
    if (keepFrom > 0) FFloorIsLineStart = IsBreak(Text()[keepFrom - 1]);
    const std::size_t kept = FEnd - keepFrom;
    // (Text that fills nearly all the buffer, a very long line, stays in front.)
    const std::size_t lead =
        kept + CopyAlignment < FBuffer.size() ? static_cast<std::size_t>((FSource.Offset() - kept) % CopyAlignment) : 0;
    std::memmove(FBuffer.data() + lead, Text() + keepFrom, kept);
    FLead = lead;
    FEnd = kept;
    FBegin -= keepFrom;
  }
  // A line longer than the buffer (and no longer than LongLineBytes) is held whole.
  if (FLead + FEnd == FBuffer.size()) FBuffer.resize(FBuffer.size() * 2);
  const std::size_t n = FSource.Read(Text() + FEnd, FBuffer.size() - FLead - FEnd);
  if (n == 0) FEndOfSource = true;
  FEnd += n;
  FColon = NotSearched;
}

bool TLineReader::SkipLongLine() {
  char* const data = Text();
  const std::size_t stop = static_cast<std::size_t>(FindLineBreak(data + FBegin, data + FEnd) - data);
  if (stop == FEnd) {
    FBegin = FEnd;
    FMidLine = !FEndOfSource;
    return FEndOfSource;
  }
  if (data[stop] == '\r' && stop + 1 == FEnd && !FEndOfSource) {
    FBegin = stop;
    return false;
  }
  FBegin = stop + 1;
  if (data[stop] == '\r' && FBegin < FEnd && data[FBegin] == '\n') ++FBegin;
  FMidLine = false;
  return true;
}

std::size_t TLineReader::HistoryStart() const {
  // Nothing above a long line's rest is looked at again.
  if (FMidLine) return FBegin;
  const char* const data = Text();
  std::size_t keepFrom = FBegin - std::min(FBegin, HistoryBytes);
  std::size_t start = FBegin;
  for (int above = 0; above < 2 && start > 0; ++above) {
    std::size_t end = start - 1;
    if (data[end] == '\n' && end > 0 && data[end - 1] == '\r') --end;
    start = static_cast<std::size_t>(LineStartOf(data, data + end) - data);
    if (start == 0 && !FFloorIsLineStart) break;
    const std::string_view line(data + start, end - start);
    if (start < keepFrom && (IsDashRow(line) || IsRevisionRow(line))) keepFrom = start;
  }
  return keepFrom;
}
