#include "filter/uReportWriter.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "filter/uLineReader.h"

bool TReportWriter::FileLines(std::string_view sectionLine, const TRepositoryRoot& root) {
  // Set once: the thread that joins a later part's report reads it meanwhile.
  if (!FWantsHeader) FWantsHeader = true;
  if (!FLaterPart) Header();
  // Picks are many: the scratch texts keep their room from one to the next.
  const std::string_view archive = ArchivePath(sectionLine);
  FUpperPath.assign(archive);
  for (char& c : FUpperPath) c = static_cast<char>(Up(FEnvironment.UpperCase, c));
  if (FUpperPath.find("ATTIC") != std::string::npos) return false;

  WithoutRoot(archive, root, FPath);
  const std::string_view file = FolderParts(FPath, MaxFolderDepth, FFolders);
  // Folders shared with the last written file stand above it already.
  const std::size_t shared = SharedFolders(FFolders);
  // Known before the part's first byte, which the join may read at once.
  if (FLaterPart && !FFirstFolders) FFirstFolders = FFolders;
  for (std::size_t i = shared; i < FFolders.size(); ++i) Line(TreeIndent * i, FFolders[i]);
  std::size_t depth = FFolders.size();
  if (!file.empty()) Line(TreeIndent * depth++, file);
  std::swap(FFolders, FWrittenFolders);
  FCopyIndent = TreeIndent * depth;
  return true;
}

void TReportWriter::LinePiece(std::size_t indent, std::string_view text, bool first, bool last) {
  static const std::string blanks(64, ' ');
  for (std::size_t n; first && indent > 0; indent -= n) {
    n = std::min(indent, blanks.size());
    Put(blanks.data(), n);
  }
  Put(text.data(), text.size());
  if (last) Put("\r\n", 2);
}

void TReportWriter::Raw(const char* data, std::size_t size) {
  if (size < FBuffer.size() / 4) return Put(data, size);
  Flush();
  FSink.Write(data, size);
}

void TReportWriter::Append(const TReportWriter& part, TByteSource& bytes) {
  if (part.FWantsHeader) Header();
  std::uint64_t skip = 0;
  if (part.FFirstFolders) {
    const std::vector<std::string>& folders = *part.FFirstFolders;
    for (std::size_t i = 0; i < SharedFolders(folders); ++i) skip += TreeIndent * i + folders[i].size() + 2;
  }
  Flush();
  for (std::size_t n; (n = bytes.Read(FBuffer.data(), FBuffer.size())) > 0;) {
    const std::size_t dropped = static_cast<std::size_t>(std::min<std::uint64_t>(skip, n));
    skip -= dropped;
    if (n > dropped) FSink.Write(FBuffer.data() + dropped, n - dropped);
  }
  if (part.FFirstFolders) FWrittenFolders = part.FWrittenFolders;
}

void TReportWriter::Flush() {
  if (FUsed > 0) FSink.Write(FBuffer.data(), FUsed);
  FUsed = 0;
}

void TReportWriter::Header() {
  if (FHeaderWritten) return;
  Line(0, FEnvironment.PersonHeader + FPerson);
  Line(0, FEnvironment.DateHeader + FEnvironment.Today);
  Line(0, "");
  FHeaderWritten = true;
}

std::size_t TReportWriter::SharedFolders(const std::vector<std::string>& folders) const {
  std::size_t shared = 0;
  while (shared < folders.size() && shared < FWrittenFolders.size() &&
         SameNoCase(FEnvironment.UpperCase, folders[shared], FWrittenFolders[shared]))
    ++shared;
  return shared;
}

void TReportWriter::Put(const char* data, std::size_t size) {
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

namespace {
// Reads a source in pieces of whole lines, on a thread of its own, while the
// caller writes the pieces before: reading and writing an old report take
// about as long as each other. The pieces are the source's lines up to the
// first one that does not end in CR LF (or its end).
class TLinePieces {
public:
  TLinePieces(TByteSource& source, bool readAhead) : FSource(source) {
    for (std::size_t i = 0; i < Buffers; ++i) {
      FBuffers.emplace_back(ChunkSize);
      FFree.push_back(i);
    }
    // Without a thread (none to be had), Next reads each piece itself.
    if (readAhead) try {
        FReader = std::jthread([this] {
          while (Step()) {
          }
        });
      } catch (const std::system_error&) {
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
      if (n == 0 || whole == 0 || !OnlyCrLf(data.data(), whole)) {
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

}  // namespace

void CopyPreviousReport(TByteSource& previous, TReportWriter& report, bool readAhead) {
  std::string_view rest;
  TLinePieces pieces(previous, readAhead);
  for (std::string_view piece; pieces.Next(piece, rest);) report.Raw(piece.data(), piece.size());
  pieces.Quit();
  TJoinedSource lines(rest, previous);
  TLineReader reader(lines);
  for (std::string_view line; reader.Next(line);) {
    const TLinePart part = reader.Part();
    if (part == TLinePart::Whole)
      report.Line(0, line);
    else
      report.LinePiece(0, line, part == TLinePart::First, part == TLinePart::Last);
  }
}
