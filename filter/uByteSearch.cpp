#include "filter/uByteSearch.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

// The compiler's generic vectors become SIMD instructions where the target has
// them (both our builds do) and plain byte loops elsewhere; the C library's
// own search is byte by byte in the Windows build.
static_assert(std::endian::native == std::endian::little);
using TBytes = unsigned char __attribute__((vector_size(16)));
using TWideBytes = unsigned char __attribute__((vector_size(32)));


static TBytes load(const char* at) {
  TBytes v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

// Bit i set where byte i of `v`, a comparison's result (bytes 0 or 0xFF) of
// 16 or 32 bytes, is set. One instruction per 16 bytes where the processor
// has it (SSE2: both our builds), which spares the 32-bit build a detour
// through memory; a loop elsewhere.
// (Passed by address: a vector type as a template argument loses its size.)
template <std::size_t Size>
[[gnu::always_inline]] inline std::uint32_t maskOf(const void* v) {
  static_assert(Size == 16 || Size == 32);
  typedef char TChars __attribute__((vector_size(16)));
  std::uint32_t mask = 0;
  for (std::size_t half = 0; half < Size / 16; ++half) {
    TChars chars;
    std::memcpy(&chars, static_cast<const char*>(v) + 16 * half, sizeof chars);
#if defined(__SSE2__)
    mask |= static_cast<std::uint32_t>(__builtin_ia32_pmovmskb128(chars)) << (16 * half);
#else
    for (std::size_t i = 0; i < 16; ++i)
      if (chars[i]) mask |= 1u << (16 * half + i);
#endif
  }
  return mask;
}

namespace {
bool hasWide() {
  static const bool wide = __builtin_cpu_supports("avx2");
  return wide;
}
// The width in force; Best is resolved when set.
TSearchWidth gWidth = hasWide() ? TSearchWidth::Bytes32 : TSearchWidth::Bytes16;
}  // namespace

void SetSearchWidth(TSearchWidth width) {
  if (width == TSearchWidth::Best || (width == TSearchWidth::Bytes32 && !hasWide()))
    width = hasWide() ? TSearchWidth::Bytes32 : TSearchWidth::Bytes16;
  gWidth = width;
}

const char* FindEither(const char* p, const char* end, char a, char b) {
  if (gWidth == TSearchWidth::Scalar) {
    while (p < end && *p != a && *p != b) ++p;
    return p;
  }
  const TBytes va = TBytes{} + static_cast<unsigned char>(a), vb = TBytes{} + static_cast<unsigned char>(b);
  for (; end - p >= 16; p += 16) {
    const TBytes v = load(p);
    const auto hit = (v == va) | (v == vb);
    if (const std::uint32_t mask = maskOf<16>(&hit)) return p + __builtin_ctz(mask);
  }
  while (p < end && *p != a && *p != b) ++p;
  return p;
}

const char* FindLineBreak(const char* p, const char* end) { return FindEither(p, end, '\n', '\r'); }

const char* LineStartOf(const char* floor, const char* at) {
  if (gWidth != TSearchWidth::Scalar) {
    const TBytes lf = TBytes{} + static_cast<unsigned char>('\n'), cr = TBytes{} + static_cast<unsigned char>('\r');
    for (; at - floor >= 16; at -= 16) {
      const TBytes v = load(at - 16);
      const auto hit = (v == lf) | (v == cr);
      if (const std::uint32_t mask = maskOf<16>(&hit)) return at - 16 + (32 - __builtin_clz(mask));
    }
  }
  while (at > floor && !IsBreak(at[-1])) --at;
  return at;
}

std::size_t FindByte(std::string_view text, char c, std::size_t from) {
  if (from >= text.size()) return std::string_view::npos;
  const char* const hit = FindEither(text.data() + from, text.data() + text.size(), c, c);
  return hit == text.data() + text.size() ? std::string_view::npos : static_cast<std::size_t>(hit - text.data());
}

static const char* nextCandidateByByte(const TSkipTargets& targets, const char* p, const char* last);

// The first position in [p, last) that may start a target of the skip scan
// (see TSkipTargets), or `last`. Vectors of `Width` bytes, four per step, as
// most steps find nothing. (Testing an end row's last "=" rather than a line
// break in front of its first needs two vectors less, which the 32-bit build,
// with eight vector registers, would otherwise keep in memory, and passes over
// lines that merely start with an "=".)
template <int Width, bool EndRows, int Others = 0>
[[gnu::always_inline]] inline const char* nextCandidateIn(const TSkipTargets& targets, const char* p,
                                                          const char* last) {
  // (A vector type declared here with Width as its size makes GCC 12 fail on
  // the broadcasts below; filled through memory instead, they cost each call
  // a stalled load.)
  using TVector = std::conditional_t<Width == 32, TWideBytes, TBytes>;
  // (No helpers that return vectors: a wide one would change the calling convention.)
  const TVector first = TVector{} + targets.First, middle = TVector{} + targets.Middle,
                lastByte = TVector{} + targets.Last, equals = TVector{} + '=', fold = TVector{} + 0x20;
  TVector others[Others > 0 ? Others : 1];
  for (int o = 0; o < Others; ++o) others[o] = TVector{} + targets.OtherLasts[o];
  constexpr std::ptrdiff_t Step = 4 * Width;
  for (; last - p >= Step; p += Step) {
    TVector hits[4];
    for (int k = 0; k < 4; ++k) {
      TVector v0, vMiddle, vSpan;
      std::memcpy(&v0, p + k * Width, sizeof v0);
      std::memcpy(&vMiddle, p + k * Width + targets.MiddleAt, sizeof vMiddle);
      std::memcpy(&vSpan, p + k * Width + targets.Span, sizeof vSpan);
      if constexpr (Others > 0) {
        TVector lastHits = (TVector)((vSpan | fold) == lastByte);
        for (int o = 0; o < Others; ++o) {
          TVector vOther;
          std::memcpy(&vOther, p + k * Width + targets.OtherSpans[o], sizeof vOther);
          lastHits |= (TVector)((vOther | fold) == others[o]);
        }
        hits[k] = (TVector)(((v0 | fold) == first) & ((vMiddle | fold) == middle)) & lastHits;
      } else {
        hits[k] = (TVector)(((v0 | fold) == first) & ((vMiddle | fold) == middle) & ((vSpan | fold) == lastByte));
      }
      if constexpr (EndRows) {
        TVector vRowEnd;
        std::memcpy(&vRowEnd, p + k * Width + TSkipTargets::RowEndAt, sizeof vRowEnd);
        hits[k] |= (TVector)((v0 == equals) & (vRowEnd == equals));
      }
    }
    const TVector all = hits[0] | hits[1] | hits[2] | hits[3];
    if (maskOf<Width>(&all) == 0) continue;
    for (int k = 0; k < 4; ++k)
      if (const std::uint32_t mask = maskOf<Width>(&hits[k])) return p + k * Width + __builtin_ctz(mask);
  }
  return nextCandidateByByte(targets, p, last);
}

// nextCandidateIn without vectors (its tail, and the scalar path).
static const char* nextCandidateByByte(const TSkipTargets& targets, const char* p, const char* last) {
  for (; p < last; ++p)
    if ((targets.EndRows && *p == '=' && p[TSkipTargets::RowEndAt] == '=') ||
        ((static_cast<unsigned char>(*p) | 0x20) == targets.First &&
         (static_cast<unsigned char>(p[targets.MiddleAt]) | 0x20) == targets.Middle &&
         targets.LastMatches(p, targets.Span + 1)))
      return p;
  return last;
}


static const char* nextCandidateNarrow(const TSkipTargets& targets, const char* p, const char* last) {
  switch (targets.OtherCount) {
    case 0: break;
    case 1: return nextCandidateIn<16, true, 1>(targets, p, last);
    case 2: return nextCandidateIn<16, true, 2>(targets, p, last);
    default: return nextCandidateIn<16, true, 3>(targets, p, last);
  }
  return targets.EndRows ? nextCandidateIn<16, true>(targets, p, last) : nextCandidateIn<16, false>(targets, p, last);
}

[[gnu::target("avx2")]] static const char* nextCandidateWide(const TSkipTargets& targets, const char* p,
                                                             const char* last) {
  switch (targets.OtherCount) {
    case 0: break;
    case 1: return nextCandidateIn<32, true, 1>(targets, p, last);
    case 2: return nextCandidateIn<32, true, 2>(targets, p, last);
    default: return nextCandidateIn<32, true, 3>(targets, p, last);
  }
  return targets.EndRows ? nextCandidateIn<32, true>(targets, p, last) : nextCandidateIn<32, false>(targets, p, last);
}

const char* NextCandidate(const TSkipTargets& targets, const char* p, const char* last) {
  switch (gWidth) {
    case TSearchWidth::Scalar:
      return nextCandidateByByte(targets, p, last);
    case TSearchWidth::Bytes32:
      return nextCandidateWide(targets, p, last);
    default:
      return nextCandidateNarrow(targets, p, last);
  }
}

bool OnlyCrLf(const char* data, std::size_t size) {
  if (size == 0) return true;
  if (data[0] == '\n') return false;
  if (gWidth == TSearchWidth::Scalar) {
    for (std::size_t i = 1; i < size; ++i)
      if ((data[i] == '\n') != (data[i - 1] == '\r')) return false;
    return true;
  }
  const TBytes lf = TBytes{} + static_cast<unsigned char>('\n'), cr = TBytes{} + static_cast<unsigned char>('\r');
  auto mismatch = [&](std::size_t at) { return (load(data + at) == lf) != (load(data + at - 1) == cr); };
  std::size_t i = 1;
  for (; i + 64 <= size; i += 64) {
    const auto any = mismatch(i) | mismatch(i + 16) | mismatch(i + 32) | mismatch(i + 48);
    if (maskOf<16>(&any)) return false;
  }
  for (; i < size; ++i)
    if ((data[i] == '\n') != (data[i - 1] == '\r')) return false;
  return true;
}
