#include "filter/uQuillet.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <exception>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/uFailure.h"

namespace {
// File messages, worded like the system's other file failures.
const std::string SCannotOpenFile = "Datei %s kann nicht ge\xF6" "ffnet werden";
const std::string SCannotCreateFile = "Datei %s kann nicht erstellt werden";

// Reading and writing in large pieces keeps system calls rare; the buffers are
// the engine's whole memory apart from the longest line.
constexpr std::size_t ChunkSize = 1 << 20;
// The report's bytes are handed to the disk in pieces of this size while it is
// written, so that the final flush has little left to wait for.
constexpr std::uint64_t WriteBackSize = 2 << 20;

// A chunk buffer. Not cleared when made or grown: every byte is written
// before it is read, and a run touches only the pages it needs.
class TBuffer {
public:
  explicit TBuffer(std::size_t size) : FData(std::make_unique_for_overwrite<char[]>(size)), FSize(size) {}
  char* data() { return FData.get(); }
  const char* data() const { return FData.get(); }
  std::size_t size() const { return FSize; }
  char& operator[](std::size_t at) { return FData[at]; }
  /// Keeps the bytes that fit.
  void resize(std::size_t size) {
    std::unique_ptr<char[]> bigger = std::make_unique_for_overwrite<char[]>(size);
    std::memcpy(bigger.get(), FData.get(), std::min(size, FSize));
    FData = std::move(bigger);
    FSize = size;
  }

private:
  std::unique_ptr<char[]> FData;
  std::size_t FSize;
};

// A log is cut into parts of at least this size, at most this many, one per
// processor; a part starts behind the first end row this far behind its cut.
constexpr std::uint64_t MinPartBytes = 4 << 20;
constexpr std::size_t MaxParts = 4;
constexpr std::size_t PartProbeBytes = 1 << 20;

// What the engine's skip scan stops at: a text whose first byte is `First`,
// whose byte `MiddleAt` further on is `Middle` and whose byte `Span` further
// on is `Last` (all compared after OR 0x20), and, with `EndRows`, an "=" at
// a line's start.
struct TSkipTargets {
  unsigned char First = 0, Middle = 0, Last = 0;
  std::size_t MiddleAt = 0, Span = 0;
  bool EndRows = false;
};

// What cvs writes around a revision and a section.
const std::string SectionLabel = "RCS file:";
const std::string RevisionLabel = "revision ";
constexpr std::size_t DashRowLength = 28;
constexpr std::size_t EndRowLength = 77;
// The reader keeps at least this much of the text before its current line,
// and the two lines above it whole when they may be a revision's header rows.
constexpr std::size_t HistoryBytes = 1024;
// Each level of the report's tree stands this much deeper than the one above.
constexpr std::size_t TreeIndent = 4;

bool isBreak(char c) { return c == '\n' || c == '\r'; }
bool isTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// --- searches ---------------------------------------------------------------------

// The compiler's generic vectors become SIMD instructions where the target has
// them (both our builds do) and plain byte loops elsewhere; the C library's
// own search is byte by byte in the Windows build.
static_assert(std::endian::native == std::endian::little);
using TBytes = unsigned char __attribute__((vector_size(16)));

TBytes load(const char* at) {
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

// The first byte in [p, end) that is `a` or `b`, or end.
const char* findEither(const char* p, const char* end, char a, char b) {
  const TBytes va = TBytes{} + static_cast<unsigned char>(a), vb = TBytes{} + static_cast<unsigned char>(b);
  for (; end - p >= 16; p += 16) {
    const TBytes v = load(p);
    const auto hit = (v == va) | (v == vb);
    if (const std::uint32_t mask = maskOf<16>(&hit)) return p + __builtin_ctz(mask);
  }
  while (p < end && *p != a && *p != b) ++p;
  return p;
}

// The first CR or LF in [p, end), or end.
const char* findLineBreak(const char* p, const char* end) { return findEither(p, end, '\n', '\r'); }

// Position of the first `c` in `text` from `from` on, or npos.
std::size_t findByte(std::string_view text, char c, std::size_t from = 0) {
  if (from >= text.size()) return std::string_view::npos;
  const char* const hit = findEither(text.data() + from, text.data() + text.size(), c, c);
  return hit == text.data() + text.size() ? std::string_view::npos : static_cast<std::size_t>(hit - text.data());
}

// `text` begins with `prefix`. (A loop, as short compares through the C
// library cost a call each, and a slow one in the Windows build.)
bool startsWith(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (text[i] != prefix[i]) return false;
  return true;
}

// `line` is `count` times `c`, then nothing but trailing blanks.
bool isRowOf(std::string_view line, char c, std::size_t count) {
  std::size_t end = line.size();
  while (end > count && isTrailingBlank(line[end - 1])) --end;
  if (end != count) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (line[i] != c) return false;
  return true;
}

// --- line classification ----------------------------------------------------------

bool isEndRow(std::string_view line) { return isRowOf(line, '=', EndRowLength); }

bool isDashRow(std::string_view line) { return isRowOf(line, '-', DashRowLength); }

bool isRevisionRow(std::string_view line) { return startsWith(line, RevisionLabel); }

unsigned char up(const TUpperCaseTable& upper, char c) { return upper[static_cast<unsigned char>(c)]; }

// `text` equals `upperPattern` without regard to case.
bool equalsNoCase(const TUpperCaseTable& upper, std::string_view text, std::string_view upperPattern) {
  if (text.size() != upperPattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (up(upper, text[i]) != static_cast<unsigned char>(upperPattern[i])) return false;
  return true;
}

// `a` equals `b` without regard to case.
bool sameNoCase(const TUpperCaseTable& upper, std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (up(upper, a[i]) != up(upper, b[i])) return false;
  return true;
}

// A section starts at a line that begins with the label, in any case.
bool isSectionStart(const TUpperCaseTable& upper, std::string_view line, std::string_view upperLabel) {
  return line.size() >= upperLabel.size() && equalsNoCase(upper, line.substr(0, upperLabel.size()), upperLabel);
}

// Position just behind the first `upperLabel` (which ends with ":") in `line`,
// found without regard to case; npos when there is none. Only the colons are
// looked for, so ordinary lines cost one search.
std::size_t findLabel(const TUpperCaseTable& upper, std::string_view line, std::string_view upperLabel,
                      std::size_t firstColon) {
  const std::size_t front = upperLabel.size() - 1;
  std::size_t from = std::max(front, firstColon);
  while (from < line.size()) {
    const std::size_t colon = findByte(line, ':', from);
    if (colon == std::string_view::npos) return colon;
    // Compared from the colon backwards: most colons follow a digit or a
    // letter other than the label's last one and fail at once.
    std::size_t k = front;
    while (k > 0 && up(upper, line[colon - front + k - 1]) == static_cast<unsigned char>(upperLabel[k - 1])) --k;
    if (k == 0) return colon + 1;
    from = colon + 1;
  }
  return std::string_view::npos;
}

// --- dates ------------------------------------------------------------------------

// 1-based, clipped like Copy, without copying.
std::string_view part(std::string_view text, std::size_t index, std::size_t count) {
  if (index < 1 || index > text.size()) return {};
  return text.substr(index - 1, count);
}

// A decimal whole number: optional sign, then digits ("05" is 5).
bool toInteger(std::string_view text, int& value) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
  if (i == text.size() || text.size() - i > 9) return false;
  value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  return true;
}

// Orders by year, then month, then day, as numbers; Equal compares the texts.
// A part that has to be converted and is no whole number makes the dates
// incomparable: false.
bool compareDates(std::string_view entry, std::string_view reference, TDateOperator op) {
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

// The archive path of a section's first line: behind the label and one more
// character, up to the line's first comma.
std::string_view archivePath(std::string_view line) {
  const std::size_t start = SectionLabel.size() + 1;
  const std::size_t comma = line.find(',');
  if (comma == std::string_view::npos || comma <= start) return {};
  return line.substr(start, comma - start);
}

// The path below the repository's root: a whole "/DATA" component goes, then
// everything up to the first "/cvsroot/". Into `path`, whose room is reused.
void withoutRoot(std::string_view archive, std::string& path) {
  path.assign(archive);
  const std::size_t data = path.find("/DATA");
  if (data != std::string::npos && (data + 5 == path.size() || path[data + 5] == '/')) path.erase(data, 5);
  const std::size_t root = path.find("/cvsroot/");
  if (root != std::string::npos) path.erase(0, root + 9);
}

// The folder parts of `path`, each with its "/", at most `maxDepth` of them
// (the last one then holds the deeper levels), into `folders`, whose strings'
// room is reused; returns the file name behind them.
std::string_view folderParts(std::string_view path, std::size_t maxDepth, std::vector<std::string>& folders) {
  std::size_t count = 0, start = 0;
  for (std::size_t slash; (slash = findByte(path, '/', start)) != std::string_view::npos; start = slash + 1) {
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
}  // namespace

// --- byte sources and sinks ---------------------------------------------------------

/// Something to read lines from: the input file or a test's text.
class TByteSource {
public:
  virtual ~TByteSource() = default;
  /// Up to `size` bytes from the current position; 0 at the end. Fails with a message.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

/// Where the report's bytes go: the temporary output file or a test's text.
class TByteSink {
public:
  virtual ~TByteSink() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
};

namespace {
class TTextSource : public TByteSource {
public:
  /// `pieceSize` caps what one Read hands out (0: no cap).
  explicit TTextSource(std::string_view text, std::size_t pieceSize = 0) : FText(text), FPiece(pieceSize) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (FPiece != 0) size = std::min(size, FPiece);
    const std::size_t n = std::min(size, FText.size() - FPosition);
    std::memcpy(buffer, FText.data() + FPosition, n);
    FPosition += n;
    return n;
  }

private:
  std::string_view FText;
  std::size_t FPiece;
  std::size_t FPosition = 0;
};

/// Some bytes already read, then the rest of a source.
class TJoinedSource : public TByteSource {
public:
  TJoinedSource(std::string_view front, TByteSource& rest) : FFront(front), FRest(rest) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = FFront.Read(buffer, size);
    return n > 0 ? n : FRest.Read(buffer, size);
  }

private:
  TTextSource FFront;
  TByteSource& FRest;
};

class TFileSource : public TByteSource {
public:
  /// `failure` is the message of a failed read (empty: the file cannot be opened).
  TFileSource(TFileSystem& files, std::string path, std::string failure = "")
      : FFiles(files), FPath(std::move(path)),
        FFailure(failure.empty() ? FormatMessage(SCannotOpenFile, FPath) : std::move(failure)) {}
  ~TFileSource() override { Close(); }
  /// False when the file cannot be opened.
  bool Open() {
    const std::optional<TOsFile> file = FFiles.OpenRead(FPath);
    if (file) FFile = *file;
    return file.has_value();
  }
  TOsFile Handle() const { return *FFile; }
  const std::string& Failure() const { return FFailure; }
  void Close() {
    if (FFile) FFiles.Close(*FFile);
    FFile.reset();
  }
  std::optional<std::uint64_t> Size() { return FFiles.FileSize(*FFile); }
  /// What is read of a file that is about to be replaced leaves the system's
  /// cache as it is read, not all at once when the file is removed.
  void ForgetWhatIsRead() { FForget = true; }
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::optional<std::size_t> n = FFiles.Read(*FFile, buffer, size);
    if (!n) throw EFailure(FFailure);
    if (FForget && *n > 0) FFiles.ForgetRead(*FFile, FRead, *n);
    FRead += *n;
    return *n;
  }

private:
  TFileSystem& FFiles;
  std::string FPath;
  std::string FFailure;
  std::optional<TOsFile> FFile;
  std::uint64_t FRead = 0;
  bool FForget = false;
};

/// The bytes of a file another owner holds open, from an offset on, read at
/// their place so that several such sources can read one handle at once.
/// With `discard` the space of what is read goes back to the file system.
class TFileAtSource : public TByteSource {
public:
  TFileAtSource(TFileSystem& files, TOsFile file, std::uint64_t offset, std::string failure, bool discard = false)
      : FFiles(files), FFile(file), FOffset(offset), FFailure(std::move(failure)), FDiscard(discard) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::optional<std::size_t> n = FFiles.ReadAt(FFile, FOffset, buffer, size);
    if (!n) throw EFailure(FFailure);
    if (FDiscard && *n > 0) FFiles.Discard(FFile, FOffset, *n);
    FOffset += *n;
    return *n;
  }

private:
  TFileSystem& FFiles;
  TOsFile FFile;
  std::uint64_t FOffset;
  std::string FFailure;
  bool FDiscard;
};

/// A source's bytes up to a limit (none: all), and none once `stop` is set.
class TRangeSource : public TByteSource {
public:
  TRangeSource(TByteSource& source, std::optional<std::uint64_t> limit, const std::atomic<bool>* stop = nullptr)
      : FSource(source), FLeft(limit), FStop(stop) {}
  TRangeSource(std::unique_ptr<TByteSource> source, std::optional<std::uint64_t> limit,
               const std::atomic<bool>* stop = nullptr)
      : FOwned(std::move(source)), FSource(*FOwned), FLeft(limit), FStop(stop) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (FStop && FStop->load(std::memory_order_relaxed)) return 0;
    if (FLeft) size = static_cast<std::size_t>(std::min<std::uint64_t>(size, *FLeft));
    const std::size_t n = size == 0 ? 0 : FSource.Read(buffer, size);
    if (FLeft) *FLeft -= n;
    return n;
  }

private:
  std::unique_ptr<TByteSource> FOwned;
  TByteSource& FSource;
  std::optional<std::uint64_t> FLeft;
  const std::atomic<bool>* FStop;
};

class TTextSink : public TByteSink {
public:
  void Write(const char* data, std::size_t size) override { FText.append(data, size); }
  std::string FText;
};

class TFileSink : public TByteSink {
public:
  /// `path` names the report in the message of a failed write; with
  /// `writeBack` the bytes go to the disk while the next ones are written,
  /// and the last ones only with Finish.
  TFileSink(TFileSystem& files, TOsFile file, std::string path, bool writeBack = true)
      : FFiles(files), FFile(file), FPath(std::move(path)), FWriteBack(writeBack) {}

  void Write(const char* data, std::size_t size) override {
    if (!FWriteBack) return Put(data, size);
    // Only whole pages go to the file until Finish: a page on its way to the
    // disk that is written again would make the writer wait for the disk.
    if (FTailSize + size < PageSize) {
      std::memcpy(FTail.data() + FTailSize, data, size);
      FTailSize += size;
      return;
    }
    if (FTailSize > 0) {
      const std::size_t fill = PageSize - FTailSize;
      std::memcpy(FTail.data() + FTailSize, data, fill);
      Put(FTail.data(), PageSize);
      data += fill;
      size -= fill;
    }
    const std::size_t whole = size - size % PageSize;
    Put(data, whole);
    std::memcpy(FTail.data(), data + whole, size - whole);
    FTailSize = size - whole;
    if (FWritten - FWrittenBack >= WriteBackSize) {
      FFiles.StartWriteBack(FFile, FWrittenBack, FWritten - FWrittenBack);
      FWrittenBack = FWritten;
    }
  }

  /// Writes what is held back.
  void Finish() {
    Put(FTail.data(), FTailSize);
    FTailSize = 0;
  }

private:
  static constexpr std::size_t PageSize = 4096;

  void Put(const char* data, std::size_t size) {
    if (size == 0) return;
    if (!FFiles.Write(FFile, data, size)) {
      // The system's reason is this thread's: told here, where it is known.
      OsWriteFileFailure(FPath);
      throw EFailure(FormatMessage(SCannotCreateFile, FPath));
    }
    FWritten += size;
  }

  TFileSystem& FFiles;
  TOsFile FFile;
  std::string FPath;
  bool FWriteBack;
  std::uint64_t FWritten = 0, FWrittenBack = 0;
  std::array<char, PageSize> FTail;
  std::size_t FTailSize = 0;
};

// --- the skip scan's search -------------------------------------------------------

// The first position in [p, last) that may start a target of the skip scan
// (see TSkipTargets), or `last`: its first, middle and last byte match, or
// an "=" behind a line break; p[-1] is readable. Vectors of `Width` bytes, four per step, as most steps
// find nothing.
template <int Width>
[[gnu::always_inline]] inline const char* nextCandidateIn(const TSkipTargets& targets, const char* p,
                                                          const char* last) {
  typedef unsigned char TVector __attribute__((vector_size(Width)));
  // (No helpers that return vectors: a wide one would change the calling convention.)
  TVector first, middle, lastByte, equals, fold, lf, cr;
  std::memset(&middle, targets.Middle, sizeof middle);
  std::memset(&lf, '\n', sizeof lf);
  std::memset(&cr, '\r', sizeof cr);
  std::memset(&first, targets.First, sizeof first);
  std::memset(&lastByte, targets.Last, sizeof lastByte);
  std::memset(&equals, targets.EndRows ? '=' : '\0', sizeof equals);
  std::memset(&fold, 0x20, sizeof fold);
  constexpr std::ptrdiff_t Step = 4 * Width;
  for (; last - p >= Step; p += Step) {
    TVector hits[4];
    for (int k = 0; k < 4; ++k) {
      TVector v0, vMiddle, vSpan, vBefore;
      std::memcpy(&v0, p + k * Width, sizeof v0);
      std::memcpy(&vMiddle, p + k * Width + targets.MiddleAt, sizeof vMiddle);
      std::memcpy(&vSpan, p + k * Width + targets.Span, sizeof vSpan);
      std::memcpy(&vBefore, p + k * Width - 1, sizeof vBefore);
      hits[k] = (TVector)((((v0 | fold) == first) & ((vMiddle | fold) == middle) & ((vSpan | fold) == lastByte)) |
                          ((v0 == equals) & ((vBefore == lf) | (vBefore == cr))));
    }
    const TVector all = hits[0] | hits[1] | hits[2] | hits[3];
    if (maskOf<Width>(&all) == 0) continue;
    for (int k = 0; k < 4; ++k)
      if (const std::uint32_t mask = maskOf<Width>(&hits[k])) return p + k * Width + __builtin_ctz(mask);
  }
  for (; p < last; ++p)
    if ((targets.EndRows && *p == '=' && isBreak(p[-1])) ||
        ((static_cast<unsigned char>(*p) | 0x20) == targets.First &&
         (static_cast<unsigned char>(p[targets.MiddleAt]) | 0x20) == targets.Middle &&
         (static_cast<unsigned char>(p[targets.Span]) | 0x20) == targets.Last))
      return p;
  return last;
}

const char* nextCandidateNarrow(const TSkipTargets& targets, const char* p, const char* last) {
  return nextCandidateIn<16>(targets, p, last);
}

// Where the processor has them (most since 2013), 32-byte vectors halve the
// scan's work; the choice is made once, at run time.
[[gnu::target("avx2")]] const char* nextCandidateWide(const TSkipTargets& targets, const char* p, const char* last) {
  return nextCandidateIn<32>(targets, p, last);
}

const char* nextCandidate(const TSkipTargets& targets, const char* p, const char* last) {
  static const bool wide = __builtin_cpu_supports("avx2");
  return wide ? nextCandidateWide(targets, p, last) : nextCandidateNarrow(targets, p, last);
}

// True when every line break in [0, size) is a CR LF: no LF without a CR
// before it, no CR without an LF behind it. `data[size - 1]` is an LF.
bool onlyCrLf(const char* data, std::size_t size) {
  if (size == 0) return true;
  if (data[0] == '\n') return false;
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
}  // namespace

// --- the line reader ----------------------------------------------------------------


/// Cuts a byte source into lines at every CR LF, lone CR and lone LF. A NUL
/// is an ordinary character; a last line without a line break is a line, and
/// a break at the very end adds no empty line.
class TLineReader {
public:
  explicit TLineReader(TByteSource& source) : FSource(source), FBuffer(ChunkSize) {}

  /// The next line, valid until the next call; false at the end.
  bool Next(std::string_view& line) {
    for (;;) {
      char* const data = FBuffer.data();
      const std::size_t stop = static_cast<std::size_t>(findLineBreak(data + FBegin, data + FEnd) - data);
      if (stop < FEnd) {
        // A CR at the end of the buffer may be the first half of a CR LF.
        if (data[stop] == '\r' && stop + 1 == FEnd && !FEndOfSource) {
          Fill();
          continue;
        }
        line = std::string_view(data + FBegin, stop - FBegin);
        FLineStart = FBegin;
        FBegin = stop + 1;
        if (data[stop] == '\r' && FBegin < FEnd && data[FBegin] == '\n') ++FBegin;
        return true;
      }
      if (FEndOfSource) {
        if (FBegin == FEnd) return false;
        line = std::string_view(data + FBegin, FEnd - FBegin);
        FLineStart = FBegin;
        FBegin = FEnd;
        return true;
      }
      Fill();
    }
  }

  /// Position of the first ":" in the last line returned, or npos. The search
  /// runs ahead, so lines without a colon cost nothing.
  std::size_t FirstColon() {
    const std::size_t lineEnd = FBegin;  // at least one past the line's last character
    if (FColon == NotSearched || FColon < FLineStart) {
      const char* const data = FBuffer.data();
      FColon = static_cast<std::size_t>(findEither(data + FLineStart, data + FEnd, ':', ':') - data);
    }
    return FColon < lineEnd && FColon < FEnd ? FColon - FLineStart : std::string_view::npos;
  }

  /// Drops the lines ahead of the first one at which `targets` hit and
  /// `mayMatter(lineStart, hit, bufferEnd)` holds; the next call of Next
  /// returns that line. `lineStart` is a line start at or before the hit's
  /// own line start. Without such a line all lines are dropped. A text that
  /// runs beyond the buffer is looked at again with the next chunk.
  template <class TTest>
  void SkipAhead(const TSkipTargets& targets, TTest mayMatter) {
    for (;;) {
      const char* const data = FBuffer.data();
      const char* const begin = data + FBegin;
      const char* const end = data + FEnd;
      if (const char* hit = FindTarget(targets, begin, end, mayMatter)) {
        const char* start = hit;
        while (start > begin && !isBreak(start[-1])) --start;
        FBegin = static_cast<std::size_t>(start - data);
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
      Fill();
    }
  }

  /// True when the two lines above the line at `lineStart` are a revision's header.
  bool FollowsRevisionHeader(const char* lineStart) const {
    std::string_view numberLine, dashRow;
    return LineAbove(lineStart, numberLine) && isRevisionRow(numberLine) && LineAbove(numberLine.data(), dashRow) &&
           isDashRow(dashRow);
  }

private:
  // The line that ends right above `lineStart`; false when it is not in the
  // buffer whole (then it is longer than a header row).
  bool LineAbove(const char* lineStart, std::string_view& line) const {
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

  // The first hit in [begin, end) that passes `mayMatter`, or nullptr.
  template <class TTest>
  static const char* FindTarget(const TSkipTargets& targets, const char* begin, const char* end, TTest& mayMatter) {
    // Hits of the text start before `last`; an end row may start anywhere.
    const char* const last = end - begin > static_cast<std::ptrdiff_t>(targets.Span) ? end - targets.Span : begin;
    auto isTarget = [&](const char* p) {
      return (targets.EndRows && *p == '=') ||
             ((static_cast<unsigned char>(*p) | 0x20) == targets.First &&
              (static_cast<unsigned char>(p[targets.MiddleAt]) | 0x20) == targets.Middle &&
              (static_cast<unsigned char>(p[targets.Span]) | 0x20) == targets.Last);
    };
    const char* p = begin;
    if (p < last) {
      if (isTarget(p) && mayMatter(begin, p, end)) return p;
      for (++p; p < last && (p = nextCandidate(targets, p, last)) < last; ++p)
        if (isTarget(p) && mayMatter(begin, p, end)) return p;
    }
    // An end row may start in the last `Span` bytes.
    for (; p < end && targets.EndRows; ++p)
      if (*p == '=' && mayMatter(begin, p, end)) return p;
    return nullptr;
  }

  void Fill() {
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

  // Where the text to keep starts: HistoryBytes before the current line, or
  // earlier, at the start of one of the two lines above it that may be a
  // header row however long it is.
  std::size_t HistoryStart() const {
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

  static constexpr std::size_t NotSearched = static_cast<std::size_t>(-1);

  TByteSource& FSource;
  TBuffer FBuffer;
  std::size_t FBegin = 0, FEnd = 0;
  std::size_t FColon = NotSearched;  // next ":" at or after FLineStart, or FEnd
  std::size_t FLineStart = 0;
  bool FFloorIsLineStart = true;     // FBuffer[0] starts a line
  bool FEndOfSource = false;
};

// --- the report writer --------------------------------------------------------------

/// Writes the report: its header, each picked file as a line of the folder
/// tree, the file's copied log lines and the old report, every line ending
/// in CR LF.
class TReportWriter {
public:
  /// A writer for a later part of the log writes no header; Append joins its
  /// bytes to the report of the parts before it.
  enum TRole { Whole, LaterPart };

  TReportWriter(TByteSink& sink, const TQuilletEnvironment& environment, const std::string& person,
                TRole role = Whole)
      : FSink(sink), FEnvironment(environment), FPerson(person), FBuffer(ChunkSize), FLaterPart(role == LaterPart) {}

  /// The header if none is written yet, then the folder and file lines of
  /// the section that starts with `sectionLine`. False when the section
  /// writes nothing (Attic); else the copied lines follow with CopiedLine.
  bool FileLines(std::string_view sectionLine) {
    FWantsHeader = true;
    if (!FLaterPart) Header();
    // Picks are many: the scratch texts keep their room from one to the next.
    const std::string_view archive = archivePath(sectionLine);
    FUpperPath.assign(archive);
    for (char& c : FUpperPath) c = static_cast<char>(up(FEnvironment.UpperCase, c));
    if (FUpperPath.find("ATTIC") != std::string::npos) return false;

    withoutRoot(archive, FPath);
    const std::string_view file = folderParts(FPath, TQuillet::MaxFolderDepth, FFolders);
    // Folders shared with the last written file stand above it already.
    const std::size_t shared = SharedFolders(FFolders);
    for (std::size_t i = shared; i < FFolders.size(); ++i) Line(TreeIndent * i, FFolders[i]);
    std::size_t depth = FFolders.size();
    if (!file.empty()) Line(TreeIndent * depth++, file);
    if (FLaterPart && !FFirstFolders) FFirstFolders = FFolders;
    std::swap(FFolders, FWrittenFolders);
    FCopyIndent = TreeIndent * depth;
    return true;
  }

  /// A log line of the file last written, one level below it.
  void CopiedLine(std::string_view line) { Line(FCopyIndent, line); }

  void Line(std::size_t indent, std::string_view text) {
    // The usual line fits the buffer as it is: one check, then plain copies.
    if (indent + text.size() + 2 <= FBuffer.size() - FUsed) {
      char* const out = FBuffer.data() + FUsed;
      std::memset(out, ' ', indent);
      std::memcpy(out + indent, text.data(), text.size());
      out[indent + text.size()] = '\r';
      out[indent + text.size() + 1] = '\n';
      FUsed += indent + text.size() + 2;
      return;
    }
    static const std::string blanks(64, ' ');
    while (indent > 0) {
      const std::size_t n = std::min(indent, blanks.size());
      Put(blanks.data(), n);
      indent -= n;
    }
    Put(text.data(), text.size());
    Put("\r\n", 2);
  }

  /// Bytes that are whole report lines already; large pieces go to the sink
  /// without a copy.
  void Raw(const char* data, std::size_t size) {
    if (size < FBuffer.size() / 4) return Put(data, size);
    Flush();
    FSink.Write(data, size);
  }

  /// The report of a later part of the log, written by `part` and read from
  /// `bytes`, behind what this writer wrote, as if this writer had written
  /// it: the header comes first, and the first file's folder lines that
  /// stand above it already are left out.
  void Append(const TReportWriter& part, TByteSource& bytes) {
    if (part.FWantsHeader) Header();
    std::uint64_t skip = 0;
    if (part.FFirstFolders) {
      const std::vector<std::string>& folders = *part.FFirstFolders;
      for (std::size_t i = 0; i < SharedFolders(folders); ++i) skip += TreeIndent * i + folders[i].size() + 2;
      FWrittenFolders = part.FWrittenFolders;
    }
    Flush();
    for (std::size_t n; (n = bytes.Read(FBuffer.data(), FBuffer.size())) > 0;) {
      const std::size_t dropped = static_cast<std::size_t>(std::min<std::uint64_t>(skip, n));
      skip -= dropped;
      if (n > dropped) FSink.Write(FBuffer.data() + dropped, n - dropped);
    }
  }

  void Flush() {
    if (FUsed > 0) FSink.Write(FBuffer.data(), FUsed);
    FUsed = 0;
  }

private:
  void Header() {
    if (FHeaderWritten) return;
    Line(0, FEnvironment.PersonHeader + FPerson);
    Line(0, FEnvironment.DateHeader + FEnvironment.Today);
    Line(0, "");
    FHeaderWritten = true;
  }

  // How many of `folders`, from the top, are those of the last written file.
  std::size_t SharedFolders(const std::vector<std::string>& folders) const {
    std::size_t shared = 0;
    while (shared < folders.size() && shared < FWrittenFolders.size() &&
           sameNoCase(FEnvironment.UpperCase, folders[shared], FWrittenFolders[shared]))
      ++shared;
    return shared;
  }

  void Put(const char* data, std::size_t size) {
    if (size > FBuffer.size() - FUsed) {
      Flush();
      if (size >= FBuffer.size()) {
        FSink.Write(data, size);
        return;
      }
    }
    std::memcpy(FBuffer.data() + FUsed, data, size);
    FUsed += size;
  }

  TByteSink& FSink;
  const TQuilletEnvironment& FEnvironment;
  const std::string& FPerson;
  TBuffer FBuffer;
  std::size_t FUsed = 0;
  const bool FLaterPart;
  bool FHeaderWritten = false;
  bool FWantsHeader = false;                 // a file was picked
  std::vector<std::string> FWrittenFolders;  // of the last written file
  std::string FUpperPath, FPath;             // scratch of FileLines
  std::vector<std::string> FFolders;
  std::optional<std::vector<std::string>> FFirstFolders;  // of a later part's first written file
  std::size_t FCopyIndent = 0;
};

// --- the scan ---------------------------------------------------------------------------

namespace {
/// What the scan of every part of a log looks for.
struct TScanRules {
  const TUpperCaseTable& Upper;
  TDateOperator Operator;
  std::string Date, Author;
  std::string DateLabel, AuthorLabel, SectionLabel;  // in upper case, each with its ":"
  // What the skip scan looks for outside and inside a section; none when the
  // upper-case table leaves it unusable.
  std::optional<TSkipTargets> ClosedTargets, OpenTargets;
};

// Targets for the skip scan that find every occurrence of `text` in any case
// (and maybe more); nullopt when OR 0x20 does not join every spelling that the
// upper-case table joins for its first and last byte.
// `middleAt` names a third byte to compare, best a rare one.
std::optional<TSkipTargets> targetsFor(const TUpperCaseTable& upper, std::string_view text, std::size_t middleAt,
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

/// Reads a log, or a part of one that starts behind an end row, and writes
/// the lines of the files it picks into a report.
class TLogScan {
public:
  TLogScan(const TScanRules& rules, TByteSource& input, TReportWriter& report)
      : FRules(rules), FLines(input), FReport(report) {}

  void Run() {
    std::string_view line;
    for (;;) {
      if (FSection != TSection::Copying && FRules.ClosedTargets && FRules.OpenTargets) SkipToCandidate();
      if (!FLines.Next(line)) break;
      ScanLine(line);
    }
  }

private:
  enum class TSection { Closed, Open, Copying, Passing };

  void SkipToCandidate();
  void ScanLine(std::string_view line);
  /// The tests of a revision's date line; `firstColon` (the position of its
  /// first ":", if known) lets them skip the front of the line.
  bool DateMatches(std::string_view line, std::size_t firstColon) const;
  bool AuthorMatches(std::string_view line, std::size_t firstColon) const;

  const TScanRules& FRules;
  TLineReader FLines;
  TReportWriter& FReport;
  // Where the reader stands in the log, the open section's first line, and
  // how many lines of a revision's header (the row of "-", the revision
  // number line) lie right behind.
  TSection FSection = TSection::Closed;
  std::string FSectionLine;
  int FRevisionStep = 0;
};

// While nothing is copied, only few lines can change anything: a section
// start while none is open, an end row, and a revision's date line whose
// author may be the one looked for. The reader skips to the next such line.
void TLogScan::SkipToCandidate() {
  const TUpperCaseTable& upper = FRules.Upper;
  auto startsWith = [&upper](const char* at, const char* end, const std::string& upperText) {
    if (static_cast<std::size_t>(end - at) < upperText.size()) return false;
    for (std::size_t k = 0; k < upperText.size(); ++k)
      if (up(upper, at[k]) != static_cast<unsigned char>(upperText[k])) return false;
    return true;
  };
  bool dateLine = false;
  auto mayMatter = [&](const char* begin, const char* at, const char* end) {
    dateLine = false;
    const bool lineStart = at == begin || isBreak(at[-1]);
    if (*at == '=' && FSection != TSection::Closed) {
      if (!lineStart) return false;
      const char* lineEnd = findLineBreak(at, end);
      if (lineEnd != end) return isEndRow(std::string_view(at, static_cast<std::size_t>(lineEnd - at)));
      // A line that goes on beyond the buffer: whether it is an end row is
      // seen when it is whole, and it may as well be a revision's date line.
      dateLine = FSection == TSection::Open && FLines.FollowsRevisionHeader(at);
      return true;
    }
    if (FSection == TSection::Closed) return lineStart && startsWith(at, end, FRules.SectionLabel);
    if (FSection != TSection::Open || !startsWith(at, end, FRules.AuthorLabel)) return false;
    if (!FRules.Author.empty()) {
      // As AuthorMatches: the name starts one character behind the colon and
      // runs to a ";" or the end of the line.
      const char* name = at + FRules.AuthorLabel.size() + 1;
      if (isBreak(name[-1])) return false;
      for (std::size_t i = 0; i < FRules.Author.size(); ++i)
        if (up(upper, name[i]) != up(upper, FRules.Author[i])) return false;
      const char* behind = name + FRules.Author.size();
      if (behind < end && *behind != ';' && !isBreak(*behind)) return false;
    }
    const char* start = at;
    while (start > begin && !isBreak(start[-1])) --start;
    return dateLine = FLines.FollowsRevisionHeader(start);
  };
  FLines.SkipAhead(FSection == TSection::Closed ? *FRules.ClosedTargets : *FRules.OpenTargets, mayMatter);
  // The stop is a revision's date line when the test that chose it said so.
  if (FSection == TSection::Open) FRevisionStep = dateLine ? 2 : 0;
}

void TLogScan::ScanLine(std::string_view line) {
  switch (FSection) {
    case TSection::Closed:
      if (isSectionStart(FRules.Upper, line, FRules.SectionLabel)) {
        FSectionLine.assign(line);
        FSection = TSection::Open;
        FRevisionStep = 0;
      }
      return;
    case TSection::Copying:
    case TSection::Passing:
      if (isEndRow(line))
        FSection = TSection::Closed;
      else if (FSection == TSection::Copying)
        FReport.CopiedLine(line);
      return;
    case TSection::Open:
      if (isEndRow(line)) {
        FSection = TSection::Closed;
        return;
      }
      // The date and the author must hold on the revision's own date line;
      // the author test is the cheaper one.
      if (FRevisionStep == 2) {
        const std::size_t colon = FLines.FirstColon();
        if (colon != std::string_view::npos && AuthorMatches(line, colon) && DateMatches(line, colon)) {
          FSection = FReport.FileLines(FSectionLine) ? TSection::Copying : TSection::Passing;
          return;
        }
      }
      FRevisionStep = isDashRow(line) ? 1 : FRevisionStep == 1 && isRevisionRow(line) ? 2 : 0;
      return;
  }
}

bool TLogScan::DateMatches(std::string_view line, std::size_t firstColon) const {
  const std::size_t after = findLabel(FRules.Upper, line, FRules.DateLabel, firstColon);
  if (after == std::string_view::npos) return false;
  // Skip the one character behind the colon, then take up to the first blank.
  std::string_view entry = line.substr(std::min(after + 1, line.size()));
  entry = entry.substr(0, findByte(entry, ' '));
  return compareDates(entry, FRules.Date, FRules.Operator);
}

bool TLogScan::AuthorMatches(std::string_view line, std::size_t firstColon) const {
  const std::size_t after = findLabel(FRules.Upper, line, FRules.AuthorLabel, firstColon);
  if (after == std::string_view::npos) return false;
  if (FRules.Author.empty()) return true;
  std::string_view name = line.substr(std::min(after + 1, line.size()));
  name = name.substr(0, findByte(name, ';'));
  if (name.size() != FRules.Author.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (up(FRules.Upper, name[i]) != up(FRules.Upper, FRules.Author[i])) return false;
  return true;
}
}  // namespace

// --- parts of the log ---------------------------------------------------------------

/// The log, readable from any position, and where the reports of its later
/// parts wait until the parts before them are written.
class TLogParts {
public:
  /// A later part's report.
  class TPartReport {
  public:
    virtual ~TPartReport() = default;
    virtual TByteSink& Sink() = 0;
    /// The bytes the sink took; called once, after its last write.
    virtual std::unique_ptr<TByteSource> ReadBack() = 0;
  };

  virtual ~TLogParts() = default;
  /// The log's size; nullopt when it can only be read once, from its start.
  virtual std::optional<std::uint64_t> Size() = 0;
  /// The log's bytes from `from` up to `to` (none: to its end).
  virtual std::unique_ptr<TByteSource> Open(std::uint64_t from, std::optional<std::uint64_t> to) = 0;
  virtual std::unique_ptr<TPartReport> NewReport() = 0;
};

namespace {
class TTextLog : public TLogParts {
public:
  TTextLog(std::string_view text, std::size_t pieceSize) : FText(text), FPiece(pieceSize) {}
  std::optional<std::uint64_t> Size() override { return FText.size(); }
  std::unique_ptr<TByteSource> Open(std::uint64_t from, std::optional<std::uint64_t> to) override {
    return std::make_unique<TTextSource>(FText.substr(from, to ? *to - from : std::string_view::npos), FPiece);
  }
  std::unique_ptr<TPartReport> NewReport() override {
    struct TTextReport : TPartReport {
      TByteSink& Sink() override { return Text; }
      std::unique_ptr<TByteSource> ReadBack() override { return std::make_unique<TTextSource>(Text.FText); }
      TTextSink Text;
    };
    return std::make_unique<TTextReport>();
  }

private:
  std::string_view FText;
  std::size_t FPiece;
};

/// The input file, read only through the handle that Run opened, so that a
/// log renamed or removed meanwhile changes nothing: each part at its own place. Later parts' reports wait in
/// temporary files beside the output and are read back through the handle
/// that wrote them. Any failure with those is one of creating the report.
class TFileLog : public TLogParts {
public:
  TFileLog(TFileSystem& files, TFileSource& opened, const std::string& output, const std::string& outputName)
      : FFiles(files), FOpened(opened), FOutput(output), FOutputName(outputName) {}

  std::optional<std::uint64_t> Size() override { return FOpened.Size(); }

  std::unique_ptr<TByteSource> Open(std::uint64_t from, std::optional<std::uint64_t> to) override {
    // A pipe is read in turn; a file always at a place, since a read at a
    // place moves the Windows build's read position.
    if (!FOpened.Size()) return std::make_unique<TRangeSource>(FOpened, to);
    return std::make_unique<TRangeSource>(
        std::make_unique<TFileAtSource>(FFiles, FOpened.Handle(), from, FOpened.Failure()),
        to ? std::optional(*to - from) : std::nullopt);
  }

  std::unique_ptr<TPartReport> NewReport() override {
    class TFileReport : public TPartReport {
    public:
      TFileReport(TFileSystem& files, const std::string& output, const std::string& outputName) : FFiles(files) {
        FFile = FFiles.CreateTempBeside(output, FPath);
        if (!FFile) {
          OsWriteFileFailure(outputName);
          throw EFailure(FormatMessage(SCannotCreateFile, outputName));
        }
        FSink.emplace(FFiles, *FFile, outputName, false);
        FFailure = FormatMessage(SCannotCreateFile, outputName);
      }
      ~TFileReport() override {
        FFiles.Close(*FFile);
        FFiles.Remove(FPath);
      }
      TByteSink& Sink() override { return *FSink; }
      // What is copied into the report gives its space back at once, so
      // that the join needs no room for a second copy of this part.
      std::unique_ptr<TByteSource> ReadBack() override {
        return std::make_unique<TFileAtSource>(FFiles, *FFile, 0, FFailure, true);
      }

    private:
      TFileSystem& FFiles;
      std::string FPath, FFailure;
      std::optional<TOsFile> FFile;
      std::optional<TFileSink> FSink;
    };
    return std::make_unique<TFileReport>(FFiles, FOutput, FOutputName);
  }

private:
  TFileSystem& FFiles;
  TFileSource& FOpened;
  std::string FOutput, FOutputName;
};

// The start of the first line behind an end row (ending in an LF) in `text`,
// which begins anywhere in a log; npos when there is none. Behind an end row
// the scan is in the same state whatever came before, so a part can start there.
std::size_t lineBehindEndRow(std::string_view text) {
  static const std::string row = "\n" + std::string(EndRowLength, '=');
  for (std::size_t at = text.find(row); at != std::string_view::npos; at = text.find(row, at + 1)) {
    std::size_t end = at + row.size();
    while (end < text.size() && isTrailingBlank(text[end])) ++end;
    if (end < text.size() && text[end] == '\n') return end + 1;
  }
  return std::string_view::npos;
}
}  // namespace

// --- TQuillet --------------------------------------------------------------------------

TQuillet::TQuillet(TQuilletEnvironment environment, TFileSystem& files)
    : FEnvironment(std::move(environment)), FFiles(files) {
  auto upper = [this](std::string label) {
    for (char& c : label) c = static_cast<char>(up(FEnvironment.UpperCase, c));
    return label;
  };
  FDateLabel = upper(FEnvironment.DateLabel + ":");
  FAuthorLabel = upper(FEnvironment.AuthorLabel + ":");
  FSectionLabel = upper(SectionLabel);
}

TQuillet::~TQuillet() = default;

void TQuillet::SetDateOperator(TDateOperator value) { FDateOperator = value; }
void TQuillet::SetDate(const std::string& value) { FDate = value; }
void TQuillet::SetPerson(const std::string& value) { FPerson = value; }
void TQuillet::SetAuthor(const std::string& value) { FAuthor = value; }
void TQuillet::SetParts(std::size_t count) { FParts = count; }

namespace {
std::string withoutQuotes(std::string text) {
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  return text;
}
}  // namespace

void TQuillet::SetInputFile(const std::string& value) { FInputFile = withoutQuotes(value); }
void TQuillet::SetOutputFile(const std::string& value) { FOutputFile = withoutQuotes(value); }

void TQuillet::CheckSettings() const {
  if (FInputFile.empty()) throw EFailure(FEnvironment.InputMissing);
  if (FOutputFile.empty()) throw EFailure(FEnvironment.OutputMissing);
  if (FPerson.empty()) throw EFailure(FEnvironment.PersonMissing);
  if (FDate.empty()) throw EFailure(FEnvironment.DateMissing);
}

namespace {
// Releases what Run holds, in every outcome.
struct TRunResources {
  explicit TRunResources(TFileSystem& files) : Files(files) {}
  ~TRunResources() {
    if (Temp) Files.Close(*Temp);
    if (!TempPath.empty() && !Replaced) Files.Remove(TempPath);
    if (Lock) Files.Unlock(*Lock, LockPath);
  }
  TFileSystem& Files;
  std::optional<TOsFile> Lock, Temp;
  std::string LockPath, TempPath;
  bool Replaced = false;
};

// Reads a source in pieces of whole lines, on a thread of its own, while the
// caller writes the pieces before: reading and writing an old report take
// about as long as each other. The pieces are the source's lines up to the
// first one that does not end in CR LF (or its end).
class TLinePieces {
public:
  explicit TLinePieces(TByteSource& source) : FSource(source) {
    for (std::size_t i = 0; i < Buffers; ++i) {
      FBuffers.emplace_back(ChunkSize);
      FFree.push_back(i);
    }
    try {
      FReader = std::jthread([this] {
        while (Step()) {
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: Next reads each piece itself.
    }
  }
  ~TLinePieces() { Quit(); }
  TLinePieces(const TLinePieces&) = delete;
  TLinePieces& operator=(const TLinePieces&) = delete;

  /// The next piece; false when the CR LF lines end: then `rest` holds the
  /// bytes read but not handed out, and the source goes on behind them.
  bool Next(std::string_view& piece, std::string_view& rest) {
    std::unique_lock lock(FMutex);
    if (FHanded) FFree.push_back(*FHanded);
    FHanded.reset();
    FChanged.notify_all();
    if (!FReader.joinable() && FReady.empty()) {
      lock.unlock();
      Step();
      lock.lock();
    }
    FChanged.wait(lock, [this] { return !FReady.empty(); });
    const TPiece next = FReady.front();
    FReady.pop_front();
    if (next.Failure) std::rethrow_exception(next.Failure);
    const std::string_view bytes(FBuffers[next.Buffer].data(), next.Size);
    if (next.Last) {
      rest = bytes;
      return false;
    }
    FHanded = next.Buffer;
    piece = bytes;
    return true;
  }

  /// Stops the reader and waits for it: the source is the caller's again.
  void Quit() {
    {
      const std::lock_guard lock(FMutex);
      FQuit = true;
    }
    FChanged.notify_all();
    if (FReader.joinable()) FReader.join();
  }

private:
  static constexpr std::size_t Buffers = 3;
  struct TPiece {
    std::size_t Buffer = 0, Size = 0;
    bool Last = false;
    std::exception_ptr Failure;
  };

  // Reads the next piece and hands it on; false after the last one, or when
  // asked to stop.
  bool Step() {
    try {
      if (!FCurrent && !(FCurrent = TakeFree())) return false;
      TBuffer& data = FBuffers[*FCurrent];
      std::size_t n = 0, whole = 0;  // whole: up to the last LF
      do {
        n = FSource.Read(data.data() + FHeld, data.size() - FHeld);
        FHeld += n;
        whole = FHeld;
        while (whole > 0 && data[whole - 1] != '\n') --whole;
      } while (n > 0 && whole == 0 && FHeld < data.size());
      if (n == 0 || whole == 0 || !onlyCrLf(data.data(), whole)) {
        Publish({*FCurrent, FHeld, true, nullptr});
        return false;
      }
      const std::optional<std::size_t> next = TakeFree();
      if (!next) return false;
      std::memcpy(FBuffers[*next].data(), data.data() + whole, FHeld - whole);
      Publish({*FCurrent, whole, false, nullptr});
      FHeld -= whole;
      FCurrent = next;
      return true;
    } catch (...) {
      Publish({0, 0, true, std::current_exception()});
      return false;
    }
  }

  // A free buffer once there is one; none when asked to stop.
  std::optional<std::size_t> TakeFree() {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [this] { return FQuit || !FFree.empty(); });
    if (FQuit) return std::nullopt;
    const std::size_t buffer = FFree.front();
    FFree.pop_front();
    return buffer;
  }

  void Publish(TPiece piece) {
    {
      const std::lock_guard lock(FMutex);
      FReady.push_back(std::move(piece));
    }
    FChanged.notify_all();
  }

  TByteSource& FSource;
  std::vector<TBuffer> FBuffers;
  // The reader's: the buffer it fills and how much of it is filled.
  std::optional<std::size_t> FCurrent;
  std::size_t FHeld = 0;
  // Shared, under FMutex.
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<std::size_t> FFree;
  std::deque<TPiece> FReady;
  std::optional<std::size_t> FHanded;  // the piece the caller writes
  bool FQuit = false;
  std::jthread FReader;  // last: started when the rest is ready
};

// Copies an old report behind the new one. One written by this program ends
// every line in CR LF already: such text is copied as it is, in large
// pieces. At the first other line break the rest goes line by line.
void copyPreviousReport(TByteSource& previous, TReportWriter& report) {
  std::string_view rest;
  TLinePieces pieces(previous);
  for (std::string_view piece; pieces.Next(piece, rest);) report.Raw(piece.data(), piece.size());
  pieces.Quit();
  TJoinedSource lines(rest, previous);
  TLineReader reader(lines);
  for (std::string_view line; reader.Next(line);) report.Line(0, line);
}
}  // namespace

void TQuillet::Run() {
  CheckSettings();

  std::optional<TFileSource> input(std::in_place, FFiles, FInputFile);
  if (!input->Open()) throw EFailure(FormatMessage(SCannotOpenFile, FInputFile));

  TRunResources held(FFiles);
  // Scripts match the line on standard output as it is; the system's reason
  // for it goes to standard error.
  auto failedToCreate = [&](const std::string& why) {
    OsWriteFileFailure(why);
    return EFailure(FormatMessage(SCannotCreateFile, FOutputFile));
  };
  // A device or pipe is never replaced by a report (nor read as one), and a
  // link another user planted is not written through.
  const std::string output = FFiles.ReplacedPath(FOutputFile);
  if (!FFiles.IsReplaceable(output)) throw failedToCreate(FOutputFile);
  // Runs on the same output wait here for each other, so each one merges the
  // report of the one before it. The lock is named after the file really
  // replaced, so that runs through a symbolic link and on its target meet too.
  held.LockPath = OsSiblingPath(output, ".lock");
  held.Lock = FFiles.Lock(held.LockPath);
  if (!held.Lock) throw failedToCreate(held.LockPath);
  // A log that is the output itself is read as the run before this one left it.
  if (FFiles.ReplacedPath(FInputFile) == output) {
    input.emplace(FFiles, FInputFile);
    if (!input->Open()) throw EFailure(FormatMessage(SCannotOpenFile, FInputFile));
  }
  FFiles.RemoveStaleTemps(output);

  // An old report that exists but cannot be read must not be lost.
  TFileSource previous(FFiles, FOutputFile);
  const bool hasPrevious = previous.Open();
  if (!hasPrevious && FFiles.FileExists(FOutputFile))
    throw EFailure(FormatMessage(SCannotOpenFile, FOutputFile));
  previous.ForgetWhatIsRead();

  held.Temp = FFiles.CreateTempBeside(output, held.TempPath);
  if (!held.Temp) throw failedToCreate(FOutputFile);
  TFileSink sink(FFiles, *held.Temp, FOutputFile);
  TFileLog log(FFiles, *input, output, FOutputFile);
  try {
    ProcessLog(log, sink, hasPrevious ? &previous : nullptr);
    sink.Finish();
  } catch (const std::bad_alloc&) {
    // One line is held whole; a gigantic one must fail the run, not end the process.
    throw EFailure(SOutOfMemory);
  }
  input.reset();
  previous.Close();

  // The new report reaches the disk before it replaces the old one, and the
  // folder's entry after, so that a power cut leaves one of the two whole.
  // Only the file this run wrote replaces the output: in a folder others can
  // write, its name may have been given to another file meanwhile.
  if (!FFiles.Flush(*held.Temp)) throw failedToCreate(FOutputFile);
  if (!FFiles.IsSameFile(*held.Temp, held.TempPath)) throw failedToCreate(held.TempPath);
  if (!FFiles.Replace(held.TempPath, output)) throw failedToCreate(FOutputFile);
  held.Replaced = true;
  FFiles.Close(*held.Temp);
  held.Temp.reset();
  // Only durability is at stake now: the report is in place, and a failure
  // reported here would make a retrying script add it a second time.
  FFiles.FlushFolderOf(output);
}

std::string TQuillet::RunOnText(const std::string& input, const std::optional<std::string>& previousOutput,
                                std::size_t pieceSize) {
  TTextLog log(input, pieceSize);
  std::optional<TTextSource> previous;
  if (previousOutput) previous.emplace(*previousOutput, pieceSize);
  TTextSink sink;
  ProcessLog(log, sink, previous ? &*previous : nullptr);
  return sink.FText;
}

std::vector<std::uint64_t> TQuillet::PartStarts(TLogParts& log) const {
  std::vector<std::uint64_t> starts{0};
  const std::optional<std::uint64_t> size = log.Size();
  if (!size) return starts;
  std::uint64_t parts = FParts;
  if (parts == 0)
    parts = std::min<std::uint64_t>(
        {std::max(1u, std::thread::hardware_concurrency()), MaxParts, *size / MinPartBytes});
  TBuffer window(PartProbeBytes);
  for (std::uint64_t k = 1; k < parts; ++k) {
    const std::uint64_t probe = std::max(*size / parts * k, starts.back());
    if (probe == 0) continue;
    const std::unique_ptr<TByteSource> bytes = log.Open(probe, *size);
    std::size_t held = 0;
    for (std::size_t n = 1; n > 0 && held < window.size(); held += n)
      n = bytes->Read(window.data() + held, window.size() - held);
    const std::size_t behind = lineBehindEndRow(std::string_view(window.data(), held));
    if (behind != std::string_view::npos && probe + behind < *size) starts.push_back(probe + behind);
  }
  return starts;
}

void TQuillet::ProcessLog(TLogParts& log, TByteSink& sink, TByteSource* previousOutput) {
  const TScanRules rules{FEnvironment.UpperCase,
                         FDateOperator,
                         FDate,
                         FAuthor,
                         FDateLabel,
                         FAuthorLabel,
                         FSectionLabel,
                         // Outside a section the scan looks for the label at a line's
                         // start; inside one for the author's label with the name behind
                         // it (one character after the colon) and for the end row.
                         targetsFor(FEnvironment.UpperCase, FSectionLabel, 1, false),
                         targetsFor(FEnvironment.UpperCase,
                                    FAuthor.empty() ? FAuthorLabel : FAuthorLabel + " " + FAuthor,
                                    FAuthorLabel.size() - 1, true)};
  TReportWriter report(sink, FEnvironment, FPerson);
  const std::vector<std::uint64_t> starts = PartStarts(log);
  auto endOf = [&starts](std::size_t k) {
    return k + 1 < starts.size() ? std::optional(starts[k + 1]) : std::nullopt;
  };
  // Each later part is scanned on a thread of its own into a report of its
  // own; a failure anywhere stops them all.
  struct TLaterPart {
    std::unique_ptr<TLogParts::TPartReport> Bytes;
    std::optional<TReportWriter> Report;
    std::exception_ptr Failure;
  };
  std::vector<TLaterPart> later(starts.size() - 1);
  for (TLaterPart& part : later) {
    part.Bytes = log.NewReport();
    part.Report.emplace(part.Bytes->Sink(), FEnvironment, FPerson, TReportWriter::LaterPart);
  }
  std::atomic<bool> stop = false;
  auto scanLater = [&](std::size_t k) {
    try {
      TRangeSource input(log.Open(starts[k + 1], endOf(k + 1)), std::nullopt, &stop);
      TLogScan(rules, input, *later[k].Report).Run();
      later[k].Report->Flush();
    } catch (...) {
      later[k].Failure = std::current_exception();
      stop = true;
    }
  };
  {
    std::vector<std::jthread> threads;
    std::vector<std::size_t> unthreaded;
    for (std::size_t k = 0; k < later.size(); ++k) try {
        threads.emplace_back(scanLater, k);
      } catch (const std::system_error&) {
        unthreaded.push_back(k);  // no thread to be had: scanned below
      }
    try {
      TRangeSource input(log.Open(0, endOf(0)), std::nullopt, &stop);
      TLogScan(rules, input, report).Run();
    } catch (...) {
      stop = true;
      throw;
    }
    for (const std::size_t k : unthreaded) scanLater(k);
  }
  for (const TLaterPart& part : later)
    if (part.Failure) std::rethrow_exception(part.Failure);
  for (TLaterPart& part : later) report.Append(*part.Report, *part.Bytes->ReadBack());

  // Merge: one empty line, then the old report, its lines cut like the input's.
  report.Line(0, "");
  if (previousOutput) copyPreviousReport(*previousOutput, report);
  report.Flush();
}
