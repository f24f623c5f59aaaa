#pragma once
// The byte searches the engine spends its time in: line breaks, single
// bytes, and the skip scan's candidates. Vector code (16 or 32 bytes at a
// time) where the processor has it, plain loops elsewhere. Also the copy of
// the short pieces the report is made of.
#include <cstddef>
#include <cstring>
#include <string_view>

inline bool IsBreak(char c) { return c == '\n' || c == '\r'; }

// What the engine's skip scan stops at: a text whose first byte is `First`,
// whose byte `MiddleAt` further on is `Middle` and whose byte `Span` further
// on is `Last`, or one of `OtherLasts` at its own distance (all compared
// after OR 0x20), and, with `EndRows`, an "=" with another one `RowEndAt`
// further on, as at the start of an end row.
struct TSkipTargets {
  // The last "=" of a row of 77, behind its first (the log text checks the length).
  static constexpr std::size_t RowEndAt = 76;
  static constexpr std::size_t MaxOthers = 3;
  unsigned char First = 0, Middle = 0, Last = 0;
  std::size_t MiddleAt = 0, Span = 0;
  bool EndRows = false;
  // Other texts that share the first bytes up to MiddleAt (the vector search
  // takes them only with EndRows); each ends at most Span further on.
  std::size_t OtherCount = 0;
  std::size_t OtherSpans[MaxOthers] = {};
  unsigned char OtherLasts[MaxOthers] = {};

  // How far behind a position the test of a candidate reads.
  std::size_t Reach() const { return EndRows && RowEndAt > Span ? RowEndAt : Span; }
  // The last byte of a text fits at `p`, of whose bytes `size` are readable.
  bool LastMatches(const char* p, std::size_t size) const {
    if (size > Span && (static_cast<unsigned char>(p[Span]) | 0x20) == Last) return true;
    for (std::size_t i = 0; i < OtherCount; ++i)
      if (size > OtherSpans[i] && (static_cast<unsigned char>(p[OtherSpans[i]]) | 0x20) == OtherLasts[i]) return true;
    return false;
  }
};

/// The vectors the searches use: the widest the processor has, none (byte by
/// byte), or 16 or 32 bytes (32 only where the processor has them, else 16).
enum class TSearchWidth { Best, Scalar, Bytes16, Bytes32 };
/// Sets the width of every search from now on, so that tests run each path.
/// Not for use while a search runs on another thread.
void SetSearchWidth(TSearchWidth width);

// The first byte in [p, end) that is `a` or `b`, or end.
const char* FindEither(const char* p, const char* end, char a, char b);

// The first CR or LF in [p, end), or end.
const char* FindLineBreak(const char* p, const char* end);

// The start of the line that holds `at`: behind the last CR or LF in
// [floor, at), or `floor`.
const char* LineStartOf(const char* floor, const char* at);

// Position of the first `c` in `text` from `from` on, or npos.
std::size_t FindByte(std::string_view text, char c, std::size_t from = 0);

// The first position in [p, last) that may start a target of the skip scan,
// or `last`; the `targets.Reach()` bytes behind `last` are readable.
const char* NextCandidate(const TSkipTargets& targets, const char* p, const char* last);

// True when every line break in [0, size) is a CR LF: no LF without a CR
// before it, no CR without an LF behind it. `data[size - 1]` is an LF.
bool OnlyCrLf(const char* data, std::size_t size);

// memcpy for the short pieces a report is made of: two overlapping moves of
// 4, 8 or 16 bytes (more for longer pieces) in place of a call, or, in the
// Windows build, of a string instruction whose start costs more than most
// lines do. `to` and `from` do not overlap.
inline void CopyShort(char* to, const char* from, std::size_t size) {
  auto move = [to, from]<std::size_t Size>(std::size_t at) {
    char block[Size];
    std::memcpy(block, from + at, Size);
    std::memcpy(to + at, block, Size);
  };
  if (size >= 16) {
    for (std::size_t at = 0; at + 16 < size; at += 16) move.operator()<16>(at);
    move.operator()<16>(size - 16);
  } else if (size >= 8) {
    move.operator()<8>(0);
    move.operator()<8>(size - 8);
  } else if (size >= 4) {
    move.operator()<4>(0);
    move.operator()<4>(size - 4);
  } else {
    for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
  }
}
