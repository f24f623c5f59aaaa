#include "filter/uQuillet.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "app/uQuilletConstants.h"

namespace {
// File messages, worded like the system's other file failures.
const std::string SCannotOpenFile = "Datei %s kann nicht ge\xF6" "ffnet werden";
const std::string SCannotCreateFile = "Datei %s kann nicht erstellt werden";

// Reading and writing in large pieces keeps system calls rare; the buffers are
// the engine's whole memory apart from the longest line.
constexpr std::size_t ChunkSize = 1 << 20;

// A line longer than the memory left (one line is held whole).
const std::string SOutOfMemory = "Zu wenig Arbeitsspeicher";

const std::string BlockStartLabel = "RCS file:";
}  // namespace

// --- byte sources and the line reader ------------------------------------------

/// Something to read lines from: the input file or a test's text.
class TByteSource {
public:
  virtual ~TByteSource() = default;
  /// Up to `size` bytes from the current position; 0 at the end. Fails with a message.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  /// A second reader of the same bytes, starting at `offset`.
  virtual std::unique_ptr<TByteSource> OpenAt(std::uint64_t offset) = 0;
};

namespace {
class TTextSource : public TByteSource {
public:
  explicit TTextSource(std::string_view text) : FText(text) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, FText.size() - FPosition);
    std::memcpy(buffer, FText.data() + FPosition, n);
    FPosition += n;
    return n;
  }
  std::unique_ptr<TByteSource> OpenAt(std::uint64_t offset) override {
    auto other = std::make_unique<TTextSource>(FText);
    other->FPosition = std::min<std::size_t>(static_cast<std::size_t>(offset), FText.size());
    return other;
  }

private:
  std::string_view FText;
  std::size_t FPosition = 0;
};

class TFileSource : public TByteSource {
public:
  explicit TFileSource(std::string path) : FPath(std::move(path)) {}
  ~TFileSource() override { Close(); }
  /// False when the file cannot be opened.
  bool Open() {
    const std::optional<TOsFile> file = OsOpenRead(FPath);
    if (file) FFile = *file;
    return file.has_value();
  }
  void Close() {
    if (FFile) OsCloseFile(*FFile);
    FFile.reset();
  }
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::optional<std::size_t> n = OsReadFile(*FFile, buffer, size);
    if (!n) throw EFailure(FormatMessage(SCannotOpenFile, FPath));
    return *n;
  }
  std::unique_ptr<TByteSource> OpenAt(std::uint64_t offset) override {
    auto other = std::make_unique<TFileSource>(FPath);
    if (!other->Open() || !OsSeekFile(*other->FFile, offset))
      throw EFailure(FormatMessage(SCannotOpenFile, FPath));
    return other;
  }

private:
  std::string FPath;
  std::optional<TOsFile> FFile;
};

/// Where the report's bytes go: the temporary output file or a test's text.
class TByteSink {
public:
  virtual ~TByteSink() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
};

class TTextSink : public TByteSink {
public:
  void Write(const char* data, std::size_t size) override { FText.append(data, size); }
  std::string FText;
};

class TFileSink : public TByteSink {
public:
  TFileSink(TOsFile file, std::string path) : FFile(file), FPath(std::move(path)) {}
  void Write(const char* data, std::size_t size) override {
    if (!OsWriteFile(FFile, data, size)) throw EFailure(FormatMessage(SCannotCreateFile, FPath));
  }

private:
  TOsFile FFile;
  std::string FPath;
};
}  // namespace

// FindLabelEnd reads the byte comparisons' results as 64-bit words.
static_assert(std::endian::native == std::endian::little);

/// The last two characters before the colon of two labels, each OR 0x20.
struct TLabelEnds {
  unsigned char Last[2], BeforeLast[2];
};

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
      // The searches for CR and LF run ahead over the whole buffer and are
      // reused by the following lines, so LF-only text costs one memchr per chunk for CR.
      if (FLf == NotSearched || FLf < FBegin) FLf = find('\n');
      if (FCr == NotSearched || FCr < FBegin) FCr = find('\r');
      const std::size_t stop = std::min(FLf, FCr);
      if (stop < FEnd) {
        // A CR at the end of the buffer may be the first half of a CR LF.
        if (stop == FCr && stop + 1 == FEnd && !FEndOfSource) {
          Fill();
          continue;
        }
        line = std::string_view(data + FBegin, stop - FBegin);
        FLineStart = FBegin;
        FBegin = stop + 1;
        if (stop == FCr && FBegin < FEnd && data[FBegin] == '\n') ++FBegin;
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
  /// runs ahead like the line-end searches, so lines without a colon cost nothing.
  std::size_t FirstColon() {
    const std::size_t lineEnd = FBegin;  // at least one past the line's last character
    if (FColon == NotSearched || FColon < FLineStart) {
      const void* hit = std::memchr(FBuffer.data() + FLineStart, ':', FEnd - FLineStart);
      FColon = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - FBuffer.data()) : FEnd;
    }
    return FColon < lineEnd && FColon < FEnd ? FColon - FLineStart : std::string_view::npos;
  }

  /// Where the line after the last one returned starts, counted from the
  /// reader's first byte.
  std::uint64_t NextOffset() const { return FBufferOffset + FBegin; }

  /// Drops the lines ahead of the first one that holds a colon preceded by
  /// one of `ends`' two-byte pairs (compared after OR 0x20) for which
  /// `mayMatter(lineStart, colon, bufferEnd)` holds; the next call of Next
  /// returns that line. `lineStart` is a line start at or before the colon's
  /// own line start, so the test can tell whether the colon ends a label at
  /// the front of its line. Without such a line all lines are dropped.
  template <class TTest>
  void SkipAhead(const TLabelEnds& ends, TTest mayMatter) {
    for (;;) {
      const char* const data = FBuffer.data();
      const char* const begin = data + FBegin;
      const char* const end = data + FEnd;
      if (const char* colon = FindLabelEnd(ends, begin, end, mayMatter)) {
        const char* start = colon;
        while (start > begin && start[-1] != '\n' && start[-1] != '\r') --start;
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

private:
  static constexpr std::size_t NotSearched = static_cast<std::size_t>(-1);

  // The first colon in [begin + 2, end) that ends one of the pairs and passes
  // `mayMatter`, or nullptr. A colon closer than two bytes to `begin` ends no
  // label of two or more characters.
  // The compiler's generic vectors become SIMD instructions where the target
  // has them (both our builds do) and plain byte loops elsewhere.
  template <class TTest>
  static const char* FindLabelEnd(const TLabelEnds& ends, const char* begin,
                                                                  const char* end, TTest& mayMatter) {
    // 16-byte vectors; two of them are tested per step, as most steps find nothing.
    using TBytes = unsigned char __attribute__((vector_size(16)));
    const TBytes colon = TBytes{} + static_cast<unsigned char>(':');
    const TBytes fold = TBytes{} + static_cast<unsigned char>(0x20);
    const TBytes a1 = TBytes{} + ends.Last[0], a2 = TBytes{} + ends.BeforeLast[0];
    const TBytes b1 = TBytes{} + ends.Last[1], b2 = TBytes{} + ends.BeforeLast[1];
    // Marks with 0xFF each byte of the 16 at `at` that is a colon behind a pair.
    auto hitsAt = [&](const char* at, std::uint64_t* word) {
      TBytes v0, v1, v2;
      std::memcpy(&v0, at, sizeof v0);
      std::memcpy(&v1, at - 1, sizeof v1);
      std::memcpy(&v2, at - 2, sizeof v2);
      v1 |= fold;
      v2 |= fold;
      const auto hits = (v0 == colon) & (((v1 == a1) & (v2 == a2)) | ((v1 == b1) & (v2 == b2)));
      std::memcpy(word, &hits, sizeof hits);
    };
    constexpr std::ptrdiff_t Step = 32;
    const char* p = begin + 2;
    for (; end - p >= Step; p += Step) {
      std::uint64_t word[4];
      hitsAt(p, word);
      hitsAt(p + 16, word + 2);
      if ((word[0] | word[1] | word[2] | word[3]) == 0) continue;
      for (int w = 0; w < 4; ++w)
        for (std::uint64_t bits = word[w]; bits != 0;) {
          const int byte = __builtin_ctzll(bits) / 8;
          const char* at = p + 8 * w + byte;
          if (mayMatter(begin, at, end)) return at;
          bits &= ~(std::uint64_t{0xFF} << (8 * byte));
        }
    }
    for (; p < end; ++p) {
      if (*p != ':') continue;
      const unsigned char c1 = static_cast<unsigned char>(p[-1]) | 0x20, c2 = static_cast<unsigned char>(p[-2]) | 0x20;
      if (((c1 == ends.Last[0] && c2 == ends.BeforeLast[0]) || (c1 == ends.Last[1] && c2 == ends.BeforeLast[1])) &&
          mayMatter(begin, p, end))
        return p;
    }
    return nullptr;
  }

  // Position of the next `c` at or after FBegin, or FEnd.
  std::size_t find(char c) const {
    const void* hit = std::memchr(FBuffer.data() + FBegin, c, FEnd - FBegin);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - FBuffer.data()) : FEnd;
  }

  void Fill() {
    if (FBegin > 0) {
      std::memmove(FBuffer.data(), FBuffer.data() + FBegin, FEnd - FBegin);
      FBufferOffset += FBegin;
      FEnd -= FBegin;
      FBegin = 0;
    }
    // A line longer than the buffer is held whole.
    if (FEnd == FBuffer.size()) FBuffer.resize(FBuffer.size() * 2);
    const std::size_t n = FSource.Read(FBuffer.data() + FEnd, FBuffer.size() - FEnd);
    if (n == 0) FEndOfSource = true;
    FEnd += n;
    FLf = FCr = FColon = NotSearched;
  }

  TByteSource& FSource;
  std::vector<char> FBuffer;
  std::size_t FBegin = 0, FEnd = 0;
  std::size_t FLf = NotSearched, FCr = NotSearched;  // next LF and CR at or after FBegin, or FEnd
  std::size_t FColon = NotSearched;                  // next ":" at or after FLineStart, or FEnd
  std::size_t FLineStart = 0;
  std::uint64_t FBufferOffset = 0;
  bool FEndOfSource = false;
};

/// Writes report lines, each as an indent of blanks, the text and CR LF.
class TLineWriter {
public:
  explicit TLineWriter(TByteSink& sink) : FSink(sink), FBuffer(ChunkSize) {}

  void Line(std::size_t indent, std::string_view text) {
    ++FLineCount;
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

  bool Empty() const { return FLineCount == 0; }

  void Flush() {
    if (FUsed > 0) FSink.Write(FBuffer.data(), FUsed);
    FUsed = 0;
  }

private:
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
  std::vector<char> FBuffer;
  std::size_t FUsed = 0;
  std::uint64_t FLineCount = 0;
};

// --- line tests that copy nothing ---------------------------------------------------

namespace {
using TUpper = std::array<unsigned char, 256>;

unsigned char up(const TUpper& upper, char c) { return upper[static_cast<unsigned char>(c)]; }

// `text` equals `upperPattern` without regard to case.
bool equalsNoCase(const TUpper& upper, std::string_view text, std::string_view upperPattern) {
  if (text.size() != upperPattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (up(upper, text[i]) != static_cast<unsigned char>(upperPattern[i])) return false;
  return true;
}

// Position just behind the first `upperLabel` (which ends with ":") in `line`,
// found without regard to case; npos when there is none. Only the colons are
// looked for, so ordinary lines cost one memchr.
std::size_t findLabel(const TUpper& upper, std::string_view line, std::string_view upperLabel,
                      std::size_t firstColon) {
  const std::size_t front = upperLabel.size() - 1;
  std::size_t from = std::max(front, firstColon);
  while (from < line.size()) {
    const void* hit = std::memchr(line.data() + from, ':', line.size() - from);
    if (!hit) return std::string_view::npos;
    const std::size_t colon = static_cast<std::size_t>(static_cast<const char*>(hit) - line.data());
    // Compared from the colon backwards: most colons follow a digit or a
    // letter other than the label's last one and fail at once.
    std::size_t k = front;
    while (k > 0 && up(upper, line[colon - front + k - 1]) == static_cast<unsigned char>(upperLabel[k - 1])) --k;
    if (k == 0) return colon + 1;
    from = colon + 1;
  }
  return std::string_view::npos;
}

// A block starts at a line that begins with the label (upper-cased) in any case.
bool isBlockStart(const TUpper& upper, std::string_view line, const std::string& label) {
  return line.size() >= label.size() && equalsNoCase(upper, line.substr(0, label.size()), label);
}

// A section ends at a line of two or more "=" and nothing else but trailing blanks.
bool isSectionEnd(std::string_view line) {
  if (line.empty() || line[0] != '=') return false;
  std::size_t end = line.size();
  while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t' || line[end - 1] == '\r')) --end;
  if (end < 2) return false;
  for (std::size_t i = 0; i < end; ++i)
    if (line[i] != '=') return false;
  return true;
}

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

enum class TOrdering { Greater, GreaterEqual, Less, LessEqual };

// Orders by year, then month, then day, as numbers. A part that has to be
// converted and is no whole number makes the dates incomparable: false.
bool compareDates(std::string_view entry, std::string_view reference, TOrdering ordering) {
  const bool greater = ordering == TOrdering::Greater || ordering == TOrdering::GreaterEqual;
  const bool orEqual = ordering == TOrdering::GreaterEqual || ordering == TOrdering::LessEqual;
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

// The archive path of a block's first line: behind the label and one more
// character, up to the line's first comma.
std::string_view archivePath(std::string_view line) {
  const std::size_t label = line.find(BlockStartLabel);
  const std::size_t labelPos = label == std::string_view::npos ? 0 : label + 1;
  const std::size_t comma = line.find(',');
  const long long length = (comma == std::string_view::npos ? 0 : static_cast<long long>(comma) + 1) - 11;
  if (length < 1) return {};
  return part(line, labelPos + 10, static_cast<std::size_t>(length));
}

void eraseFirst(std::string& text, const std::string& what) {
  const std::size_t at = text.find(what);
  if (at != std::string::npos) text.erase(at, what.size());
}
}  // namespace

// --- TQuillet --------------------------------------------------------------------------

TQuillet::TQuillet() {
  for (std::size_t i = 0; i < FUpper.size(); ++i) FUpper[i] = static_cast<unsigned char>(i);
  OsUpperCaseBuffer(reinterpret_cast<char*>(FUpper.data()), FUpper.size());
  SetDateOperator(".EQ");
  SetDate("");
  SetPerson("");
  SetAuthor("");
  SetInputFile("");
  SetOutputFile("");
}

TQuillet::~TQuillet() = default;

void TQuillet::SetDateOperator(const std::string& value) {
  std::string upper = value;
  for (char& c : upper) c = static_cast<char>(up(FUpper, c));
  if (upper != ".EQ" && upper != ".GT" && upper != ".GE" && upper != ".LT" && upper != ".LE")
    throw EFailure(uQuilletConstants::SDateOperatorNotValid);
  FDateOperator = upper;
}

void TQuillet::SetDate(const std::string& value) { FDate = value; }
void TQuillet::SetPerson(const std::string& value) { FPerson = value; }
void TQuillet::SetAuthor(const std::string& value) { FAuthor = value; }

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
  using namespace uQuilletConstants;
  if (FInputFile.empty()) throw EFailure(SInputMissing);
  if (FOutputFile.empty()) throw EFailure(SOutputMissing);
  if (FPerson.empty()) throw EFailure(SPersonMissing);
  if (FDate.empty()) throw EFailure(SDateMissing);
}

namespace {
// Releases what Run holds, in every outcome.
struct TRunResources {
  std::optional<TOsFile> Lock, Temp;
  std::string LockPath, TempPath;
  bool Replaced = false;
  ~TRunResources() {
    if (Temp) OsCloseFile(*Temp);
    if (!TempPath.empty() && !Replaced) OsRemoveFile(TempPath);
    if (Lock) OsUnlockFile(*Lock, LockPath);
  }
};
}  // namespace

void TQuillet::Run() {
  CheckSettings();

  TFileSource input(FInputFile);
  if (!input.Open()) throw EFailure(FormatMessage(SCannotOpenFile, FInputFile));

  TRunResources held;
  const std::string cannotCreate = FormatMessage(SCannotCreateFile, FOutputFile);
  // Scripts match the line on standard output as it is; the system's reason
  // for it goes to standard error.
  auto failedToCreate = [&] {
    OsWriteFileFailure(FOutputFile);
    return EFailure(cannotCreate);
  };
  // Runs on the same output wait here for each other, so each one merges the
  // report of the one before it. The lock is named after the file really
  // replaced, so that runs through a symbolic link and on its target meet too.
  const std::string output = OsReplacedFilePath(FOutputFile);
  held.LockPath = output + ".lock";
  held.Lock = OsLockFile(held.LockPath);
  if (!held.Lock) throw failedToCreate();
  // A device or pipe is never replaced by a report (nor read as one).
  if (!OsIsReplaceable(output)) throw failedToCreate();
  OsRemoveStaleTempFiles(output);

  // An old report that exists but cannot be read must not be lost.
  TFileSource previous(FOutputFile);
  const bool hasPrevious = previous.Open();
  if (!hasPrevious && OsFileExists(FOutputFile))
    throw EFailure(FormatMessage(SCannotOpenFile, FOutputFile));

  held.Temp = OsCreateTempFileBeside(output, held.TempPath);
  if (!held.Temp) throw failedToCreate();
  TFileSink sink(*held.Temp, FOutputFile);
  FOutputLines = std::make_unique<TLineWriter>(sink);
  try {
    ProcessLog(input, hasPrevious ? &previous : nullptr);
  } catch (const std::bad_alloc&) {
    // One line is held whole; a gigantic one must fail the run, not end the process.
    throw EFailure(SOutOfMemory);
  } catch (const EFailure& failure) {
    if (failure.Message() == cannotCreate) OsWriteFileFailure(FOutputFile);  // writing the report failed
    throw;
  }
  FOutputLines.reset();
  input.Close();
  previous.Close();

  if (!OsFlushFile(*held.Temp)) throw failedToCreate();
  OsCloseFile(*held.Temp);
  held.Temp.reset();
  if (!OsReplaceFile(held.TempPath, output)) throw failedToCreate();
  held.Replaced = true;
}

std::string TQuillet::RunOnText(const std::string& input, const std::optional<std::string>& previousOutput) {
  TTextSource source(input);
  std::optional<TTextSource> previous;
  if (previousOutput) previous.emplace(*previousOutput);
  TTextSink sink;
  FOutputLines = std::make_unique<TLineWriter>(sink);
  ProcessLog(source, previous ? &*previous : nullptr);
  FOutputLines.reset();
  return sink.FText;
}

void TQuillet::ProcessLog(TByteSource& input, TByteSource* previousOutput) {
  ScanInput(input);
  // Merge: one empty line, then the old report, its lines cut like the input's.
  FOutputLines->Line(0, "");
  if (previousOutput) {
    FInputLines = std::make_unique<TLineReader>(*previousOutput);
    std::string_view line;
    while (FInputLines->Next(line)) FOutputLines->Line(0, line);
    FInputLines.reset();
  }
  FOutputLines->Flush();
}

void TQuillet::ScanInput(TByteSource& input) {
  FDateLabel = uQuilletConstants::SDateSwitch + ":";
  FAuthorLabel = uQuilletConstants::SAuthorSwitch + ":";
  for (char& c : FDateLabel) c = static_cast<char>(up(FUpper, c));
  FBlockStartLabel = BlockStartLabel;
  for (char& c : FBlockStartLabel) c = static_cast<char>(up(FUpper, c));
  for (char& c : FAuthorLabel) c = static_cast<char>(up(FUpper, c));
  FWrittenFolders.clear();
  FPendingPicks.clear();

  FInputLines = std::make_unique<TLineReader>(input);
  std::string blockLine;
  bool blockOpen = false;
  // While a picked block's lines are copied: copying, at this indent. (Not an
  // optional: g++ 12 then warns of a use before initialisation that cannot happen.)
  bool copying = false;
  std::size_t copyIndent = 0;

  // While nothing is copied, only two kinds of line can change anything: a
  // block start, and (in an open block) a line with the author label and a
  // name that may be the author. The reader skips to the next such line,
  // looking only at colons behind the labels' last two letters. That needs
  // the two letters' other case to be their only other spelling.
  const std::string& rcsLabel = FBlockStartLabel;
  const std::size_t rcsFront = rcsLabel.size() - 1, authorFront = FAuthorLabel.size() - 1;
  TLabelEnds ends{};
  bool skipAhead = rcsFront >= 2 && authorFront >= 2;
  for (std::size_t b = 0; b < FUpper.size(); ++b)
    if (FUpper[b] == ':' && b != ':') skipAhead = false;
  for (int i = 0; i < 2 && skipAhead; ++i) {
    const std::string& label = i == 0 ? FAuthorLabel : rcsLabel;
    const unsigned char last = static_cast<unsigned char>(label[label.size() - 2]);
    const unsigned char beforeLast = static_cast<unsigned char>(label[label.size() - 3]);
    ends.Last[i] = last | 0x20;
    ends.BeforeLast[i] = beforeLast | 0x20;
    for (std::size_t b = 0; b < FUpper.size(); ++b) {
      const unsigned char folded = static_cast<unsigned char>(b | 0x20);
      if ((FUpper[b] == last && folded != ends.Last[i]) || (FUpper[b] == beforeLast && folded != ends.BeforeLast[i]))
        skipAhead = false;
    }
  }
  auto endsLabel = [this](const char* begin, const char* colon, const std::string& label) {
    const std::size_t front = label.size() - 1;
    if (static_cast<std::size_t>(colon - begin) < front) return false;
    for (std::size_t k = 1; k <= front; ++k)
      if (up(FUpper, colon[-static_cast<std::ptrdiff_t>(k)]) != static_cast<unsigned char>(label[front - k]))
        return false;
    return true;
  };
  auto isBreak = [](char c) { return c == '\n' || c == '\r'; };
  auto mayMatter = [&](const char* begin, const char* colon, const char* end) {
    if (endsLabel(begin, colon, rcsLabel) && (colon - rcsFront == begin || isBreak(colon[-static_cast<std::ptrdiff_t>(rcsFront) - 1])))
      return true;
    if (!blockOpen || !endsLabel(begin, colon, FAuthorLabel)) return false;
    if (FAuthor.empty()) return true;
    // As AuthorMatches: the name starts one character behind the colon and
    // runs to a ";" or the end of the line. What lies beyond the buffer may match.
    if (end - colon <= 1) return true;
    if (isBreak(colon[1])) return false;
    const char* name = colon + 2;
    for (std::size_t i = 0; i < FAuthor.size(); ++i, ++name) {
      if (name >= end) return true;
      if (isBreak(*name) || up(FUpper, *name) != up(FUpper, FAuthor[i])) return false;
    }
    return name >= end || *name == ';' || isBreak(*name);
  };

  std::string_view line;
  for (;;) {
    if (!copying && skipAhead) FInputLines->SkipAhead(ends, mayMatter);
    if (!FInputLines->Next(line)) break;
    if (copying) {
      if (isSectionEnd(line)) {
        copying = false;
        CopyPendingPicks(input);
      } else {
        FOutputLines->Line(copyIndent, line);
      }
    }
    if (isBlockStart(FUpper, line, FBlockStartLabel)) {
      blockLine.assign(line);
      blockOpen = true;
    }
    // The date and the author must hold on the same line: a revision's line.
    // Both labels end in a colon; the author test is the cheaper one.
    if (!blockOpen) continue;
    const std::size_t colon = FInputLines->FirstColon();
    if (colon != std::string_view::npos && AuthorMatches(line, colon) && DateMatches(line, colon)) {
      blockOpen = false;
      if (copying) {
        FPendingPicks.push_back({blockLine, FInputLines->NextOffset()});
      } else if (const std::optional<std::size_t> indent = WriteFileBlock(blockLine)) {
        copying = true;
        copyIndent = *indent;
      }
    }
  }
  CopyPendingPicks(input);
  FInputLines.reset();
}

void TQuillet::CopyPendingPicks(TByteSource& input) {
  // Picks made while an earlier copy ran: their copies end at the same line
  // as that one did, so they follow it now, read once more from the input.
  for (const TPendingPick& pick : FPendingPicks) {
    const std::optional<std::size_t> indent = WriteFileBlock(pick.BlockLine);
    if (!indent) continue;
    const std::unique_ptr<TByteSource> again = input.OpenAt(pick.CopyOffset);
    TLineReader reader(*again);
    std::string_view line;
    while (reader.Next(line) && !isSectionEnd(line)) FOutputLines->Line(*indent, line);
  }
  FPendingPicks.clear();
}

std::optional<std::size_t> TQuillet::WriteFileBlock(std::string_view blockLine) {
  if (FOutputLines->Empty()) {
    FOutputLines->Line(0, "User: " + FPerson);
    FOutputLines->Line(0, "Datum: " + FormatShortDate(Today(), ShortDatePicture()));
    FOutputLines->Line(0, "");
  }
  std::string path(archivePath(blockLine));
  std::string upperPath = path;
  for (char& c : upperPath) c = static_cast<char>(up(FUpper, c));
  if (upperPath.find("ATTIC") != std::string::npos) return std::nullopt;
  eraseFirst(path, "/DATA");
  eraseFirst(path, "/cvsroot/");

  std::vector<std::string> folders;
  std::size_t start = 0;
  for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
    folders.push_back(path.substr(start, slash + 1 - start));
  const std::string_view file = std::string_view(path).substr(start);

  // Folders shared with the last written file stand above it already.
  std::size_t shared = 0;
  while (shared < folders.size() && shared < FWrittenFolders.size()) {
    std::string upperFolder = FWrittenFolders[shared];
    for (char& c : upperFolder) c = static_cast<char>(up(FUpper, c));
    if (!equalsNoCase(FUpper, folders[shared], upperFolder)) break;
    ++shared;
  }
  for (std::size_t i = shared; i < folders.size(); ++i) FOutputLines->Line(4 * i, folders[i]);
  std::size_t depth = folders.size();
  if (!file.empty()) FOutputLines->Line(4 * depth++, file);
  FWrittenFolders = std::move(folders);
  return 4 * depth;
}

bool TQuillet::DateMatches(std::string_view line, std::size_t firstColon) const {
  const std::size_t after = findLabel(FUpper, line, FDateLabel, firstColon);
  if (after == std::string_view::npos) return false;
  // Skip the one character behind the colon, then take up to the first blank.
  std::string_view entry = line.substr(std::min(after + 1, line.size()));
  entry = entry.substr(0, entry.find(' '));
  if (FDateOperator == ".EQ")
    return part(entry, 1, 4) == part(FDate, 1, 4) && part(entry, 6, 2) == part(FDate, 6, 2) &&
           part(entry, 9, 2) == part(FDate, 9, 2);
  if (FDateOperator == ".GT") return DateGreaterThan(entry);
  if (FDateOperator == ".GE") return DateGreaterEqual(entry);
  if (FDateOperator == ".LT") return DateLessThan(entry);
  if (FDateOperator == ".LE") return DateLessEqual(entry);
  return false;
}

bool TQuillet::AuthorMatches(std::string_view line, std::size_t firstColon) const {
  const std::size_t after = findLabel(FUpper, line, FAuthorLabel, firstColon);
  if (after == std::string_view::npos) return false;
  if (FAuthor.empty()) return true;
  std::string_view name = line.substr(std::min(after + 1, line.size()));
  name = name.substr(0, name.find(';'));
  if (name.size() != FAuthor.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (up(FUpper, name[i]) != up(FUpper, FAuthor[i])) return false;
  return true;
}

bool TQuillet::DateGreaterThan(std::string_view entryDate) const {
  return compareDates(entryDate, FDate, TOrdering::Greater);
}
bool TQuillet::DateGreaterEqual(std::string_view entryDate) const {
  return compareDates(entryDate, FDate, TOrdering::GreaterEqual);
}
bool TQuillet::DateLessThan(std::string_view entryDate) const {
  return compareDates(entryDate, FDate, TOrdering::Less);
}
bool TQuillet::DateLessEqual(std::string_view entryDate) const {
  return compareDates(entryDate, FDate, TOrdering::LessEqual);
}
