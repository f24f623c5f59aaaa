#include "filter/uLineReader.h"

std::size_t TLineReader::FirstColon() {
  const std::size_t lineEnd = FBegin;  // at least one past the line's last character
  if (FColon == NotSearched || FColon < FLineStart) {
    const char* const data = FBuffer.data();
    FColon = static_cast<std::size_t>(findEither(data + FLineStart, data + FEnd, ':', ':') - data);
  }
  return FColon < lineEnd && FColon < FEnd ? FColon - FLineStart : std::string_view::npos;
}

bool TLineReader::FollowsRevisionHeader(const char* lineStart) const {
  std::string_view numberLine, dashRow;
  return LineAbove(lineStart, numberLine) && isRevisionRow(numberLine) && LineAbove(numberLine.data(), dashRow) &&
         isDashRow(dashRow);
}

bool TLineReader::LineAbove(const char* lineStart, std::string_view& line) const {
  const char* const floor = FBuffer.data();
  if (lineStart == floor) return false;
  const char* lineEnd = lineStart - 1;
  if (*lineEnd == '\n' && lineEnd > floor && lineEnd[-1] == '\r') --lineEnd;
  const char* start = lineEnd;
  while (start > floor && !isBreak(start[-1])) --start;
  if (start == floor && !FFloorIsLineStart) return false;
  line = std::string_view(start, static_cast<std::size_t>(lineEnd - start));
  return true;
}

void TLineReader::Fill() {
  // Keep the text above the current line that FollowsRevisionHeader looks at.
  const std::size_t keepFrom = HistoryStart();
  if (keepFrom > 0) {
    FFloorIsLineStart = isBreak(FBuffer[keepFrom - 1]);
    std::memmove(FBuffer.data(), FBuffer.data() + keepFrom, FEnd - keepFrom);
    FEnd -= keepFrom;
    FBegin -= keepFrom;
  }
  // A line longer than the buffer is held whole.
  if (FEnd == FBuffer.size()) FBuffer.resize(FBuffer.size() * 2);
  const std::size_t n = FSource.Read(FBuffer.data() + FEnd, FBuffer.size() - FEnd);
  if (n == 0) FEndOfSource = true;
  FEnd += n;
  FColon = NotSearched;
}

std::size_t TLineReader::HistoryStart() const {
  const char* const data = FBuffer.data();
  std::size_t keepFrom = FBegin - std::min(FBegin, HistoryBytes);
  std::size_t start = FBegin;
  for (int above = 0; above < 2 && start > 0; ++above) {
    std::size_t end = start - 1;
    if (data[end] == '\n' && end > 0 && data[end - 1] == '\r') --end;
    start = end;
    while (start > 0 && !isBreak(data[start - 1])) --start;
    if (start == 0 && !FFloorIsLineStart) break;
    const std::string_view line(data + start, end - start);
    if (start < keepFrom && (isDashRow(line) || isRevisionRow(line))) keepFrom = start;
  }
  return keepFrom;
}
