#pragma once
// Lines out of a byte source: cut at CR LF, lone CR and LF (a NUL is a
// character), with the skip scan's jump to the next line that may matter.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "filter/uByteSearch.h"
#include "filter/uByteStreams.h"
#include "filter/uCvsLogText.h"

// The reader keeps at least this much of the text before its current line,
// and the two lines above it whole when they may be a revision's header rows.
constexpr std::size_t HistoryBytes = 1024;
// A line longer than this is handed out in pieces as it is read, so that
// memory stays bounded however long it is. Such a line is never a date line,
// an end row or a section start: it is only copied or passed over.
constexpr std::size_t LongLineBytes = ChunkSize;

/// Which part of a line the reader handed out last.
enum class TLinePart { Whole, First, Middle, Last };

/// Cuts a byte source into lines at every CR LF, lone CR and lone LF. A NUL
/// is an ordinary character; a last line without a line break is a line, and
/// a break at the very end adds no empty line. A line longer than
/// LongLineBytes comes in pieces (Part), each without the line break.
class TLineReader {
public:
  explicit TLineReader(TByteSource& source) : FSource(source), FBuffer(ChunkSize) {}

  /// The next line, valid until the next call; false at the end.
  bool Next(std::string_view& line) {
    for (;;) {
      char* const data = Text();
      const std::size_t stop = static_cast<std::size_t>(FindLineBreak(data + FBegin, data + FEnd) - data);
      // A CR at the end of the buffer may be the first half of a CR LF.
      const bool open = stop == FEnd || (data[stop] == '\r' && stop + 1 == FEnd && !FEndOfSource);
      if (stop - FBegin > LongLineBytes) {
        // A long line's piece, up to its break or a CR that may start one.
        const std::size_t end = open ? stop : FBegin + LongLineBytes;
        return HandOut(line, data, end, end, false);
      }
      if (!open) {
        std::size_t next = stop + 1;
        if (data[stop] == '\r' && next < FEnd && data[next] == '\n') ++next;
        return HandOut(line, data, stop, next, true);
      }
      if (FEndOfSource) {
        if (FBegin == FEnd && !FMidLine) return false;
        return HandOut(line, data, FEnd, FEnd, true);
      }
      Fill();
    }
  }

  /// Which part of its line the text last returned by Next is.
  TLinePart Part() const { return FPart; }

  /// Position of the first ":" in the last line returned, or npos. The search
  /// runs ahead, so lines without a colon cost nothing.
  std::size_t FirstColon();

  /// Drops the lines ahead of the first one at which `targets` hit and
  /// `mayMatter(lineStart, hit, bufferEnd)` holds; the next call of Next
  /// returns that line. `lineStart` is a line start at or before the hit's
  /// own line start. Without such a line all lines are dropped. A text that
  /// runs beyond the buffer is looked at again with the next chunk.
  template <class TTest>
  void SkipAhead(const TSkipTargets& targets, TTest mayMatter) {
    // The rest of a long line, which never matters, goes first.
    while (FMidLine && !SkipLongLine()) Fill();
    for (;;) {
      const char* const data = Text();
      const char* const begin = data + FBegin;
      const char* const end = data + FEnd;
      if (const char* hit = FindTarget(targets, begin, end, mayMatter)) {
        FBegin = static_cast<std::size_t>(LineStartOf(begin, hit) - data);
        return;
      }
      if (FEndOfSource) {
        FBegin = FEnd;
        return;
      }
      // Keep the last line, which may go on in the next chunk, and a CR at
      // the end, which may be the first half of a CR LF.
      std::size_t keep = FEnd;
      while (keep > FBegin && data[keep - 1] != '\n' && !(data[keep - 1] == '\r' && keep < FEnd)) --keep;
      FBegin = keep;
      if (FEnd - keep > LongLineBytes) {
        FBegin = FEnd;
        FMidLine = true;
        while (FMidLine && !SkipLongLine()) Fill();
        continue;
      }
      Fill();
    }
  }

  /// True when the two lines above the line at `lineStart` are a revision's header.
  bool FollowsRevisionHeader(const char* lineStart) const;

private:
  // Hands out the text from FBegin to `end` as the next line, or as a piece
  // of a long one when it does not end the line; reading goes on at `next`.
  bool HandOut(std::string_view& line, const char* data, std::size_t end, std::size_t next, bool endsLine) {
    line = std::string_view(data + FBegin, end - FBegin);
    FLineStart = FBegin;
    FBegin = next;
    if (endsLine)
      FPart = FMidLine ? TLinePart::Last : TLinePart::Whole;
    else
      FPart = FMidLine ? TLinePart::Middle : TLinePart::First;
    FMidLine = !endsLine;
    return true;
  }

  // The line that ends right above `lineStart`; false when it is not in the
  // buffer whole (then it is longer than a header row).
  bool LineAbove(const char* lineStart, std::string_view& line) const;

  // The first hit in [begin, end) that passes `mayMatter`, or nullptr.
  template <class TTest>
  static const char* FindTarget(const TSkipTargets& targets, const char* begin, const char* end, TTest& mayMatter) {
    // The search's candidates start before `last`, so that their test reads
    // within the buffer; the bytes behind it are looked at one by one.
    const std::size_t reach = targets.Reach();
    const char* const last = end - begin > static_cast<std::ptrdiff_t>(reach) ? end - reach : begin;
    auto isTarget = [&](const char* p) {
      return (targets.EndRows && *p == '=') ||
             (static_cast<std::size_t>(end - p) > targets.MiddleAt &&
              (static_cast<unsigned char>(*p) | 0x20) == targets.First &&
              (static_cast<unsigned char>(p[targets.MiddleAt]) | 0x20) == targets.Middle &&
              targets.LastMatches(p, static_cast<std::size_t>(end - p)));
    };
    const char* p = begin;
    if (p < last) {
      if (isTarget(p) && mayMatter(begin, p, end)) return p;
      for (++p; p < last && (p = NextCandidate(targets, p, last)) < last; ++p)
        if (isTarget(p) && mayMatter(begin, p, end)) return p;
    }
    for (; p < end; ++p)
      if (isTarget(p) && mayMatter(begin, p, end)) return p;
    return nullptr;
  }

  void Fill();

  // Drops the rest of a long line up to and with its line break; false when
  // more text must be read first.
  bool SkipLongLine();

  // The text read: FBuffer from FLead on.
  char* Text() { return FBuffer.data() + FLead; }
  const char* Text() const { return FBuffer.data() + FLead; }

  // Where the text to keep starts: HistoryBytes before the current line, or
  // earlier, at the start of one of the two lines above it that may be a
  // header row however long it is.
  std::size_t HistoryStart() const;

  static constexpr std::size_t NotSearched = static_cast<std::size_t>(-1);

  TByteSource& FSource;
  TBuffer FBuffer;
  std::size_t FLead = 0;             // where the text starts in FBuffer (see Fill)
  std::size_t FBegin = 0, FEnd = 0;  // in the text
  std::size_t FColon = NotSearched;  // next ":" at or after FLineStart, or FEnd
  std::size_t FLineStart = 0;
  bool FFloorIsLineStart = true;     // the text's first byte starts a line
  bool FEndOfSource = false;
  bool FMidLine = false;             // FBegin is inside a long line
  TLinePart FPart = TLinePart::Whole;
};
