#include "filter/uLogParts.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "Bibliothek/Plattform/uOsProcess.h"

namespace {
bool engineThreads = true;
}  // namespace

void SetEngineThreads(bool allowed) { engineThreads = allowed; }
bool EngineThreads() { return engineThreads; }

namespace {
// A log is cut only from this size on, where the bench shows parts paying for
// their threads and the join (below it they cost 9-12% on two processors),
// into parts of at least this size, at most this many, one per processor the
// process may use, never on one; a part starts behind the first end row this
// far behind its cut.
constexpr std::uint64_t MinCutLogBytes = 64 << 20;
constexpr std::uint64_t MinPartBytes = 32 << 20;
constexpr std::size_t MaxParts = 4;
constexpr std::size_t PartProbeBytes = 1 << 20;
// The first part is this many per cent shorter than an even share: its
// thread goes on to join the later parts' reports while they are written.
constexpr std::uint64_t FirstPartLead = 10;

// The start of the first line behind an end row (ending in an LF) in `text`,
// which begins anywhere in a log; npos when there is none. Behind an end row
// the scan is in the same state whatever came before, so a part can start there.
std::size_t lineBehindEndRow(std::string_view text) {
  static const std::string row = "\n" + std::string(EndRowLength, '=');
  for (std::size_t at = text.find(row); at != std::string_view::npos; at = text.find(row, at + 1)) {
    std::size_t end = at + row.size();
    while (end < text.size() && IsTrailingBlank(text[end])) ++end;
    if (end < text.size() && text[end] == '\n') return end + 1;
  }
  return std::string_view::npos;
}

// A later part's report while its thread writes it, read by the thread that
// joins it: each read waits until there are bytes to read or the part ends.
class TFollowedReport : public TByteSink, public TByteSource {
public:
  explicit TFollowedReport(std::unique_ptr<TLogParts::TPartReport> bytes)
      : FBytes(std::move(bytes)), FReadBack(FBytes->ReadBack()) {}

  // The part's thread.
  void Write(const char* data, std::size_t size) override {
    FBytes->Sink().Write(data, size);
    {
      const std::lock_guard lock(FMutex);
      FWritten += size;
    }
    FChanged.notify_one();
  }
  void End() {
    {
      const std::lock_guard lock(FMutex);
      FEnded = true;
    }
    FChanged.notify_one();
  }

  // The joining thread.
  void WaitForStart() {
    std::unique_lock lock(FMutex);
    FChanged.wait(lock, [this] { return FWritten > 0 || FEnded; });
  }
  std::size_t Read(char* buffer, std::size_t size) override {
    std::uint64_t ready;
    {
      std::unique_lock lock(FMutex);
      FChanged.wait(lock, [this] { return FWritten > FRead || FEnded; });
      ready = FWritten - FRead;
    }
    if (ready == 0) return 0;
    const std::size_t n = FReadBack->Read(buffer, static_cast<std::size_t>(std::min<std::uint64_t>(size, ready)));
    FRead += n;  // only this thread writes it
    return n;
  }

private:
  std::unique_ptr<TLogParts::TPartReport> FBytes;
  std::unique_ptr<TByteSource> FReadBack;
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::uint64_t FWritten = 0, FRead = 0;
  bool FEnded = false;
};

// Where the log's parts start: 0, then each behind an end row.
std::vector<std::uint64_t> partStarts(TLogParts& log, std::size_t count) {
  std::vector<std::uint64_t> starts{0};
  const std::optional<std::uint64_t> size = log.Size();
  if (!size) return starts;
  std::uint64_t parts = count;
  if (parts == 0)
    parts = *size < MinCutLogBytes ? 1 : std::min<std::uint64_t>({OsProcessorCount(), MaxParts, *size / MinPartBytes});
  if (parts > 1 && !log.RoomForParts(*size)) parts = 1;
  TBuffer window(PartProbeBytes);
  for (std::uint64_t k = 1; k < parts; ++k) {
    const std::uint64_t first = *size / parts * (100 - FirstPartLead) / 100;
    const std::uint64_t probe = std::max(first + (*size - first) / (parts - 1) * (k - 1), starts.back());
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
}  // namespace

TScanOutcome ScanLog(TLogParts& log, std::size_t parts, const TScanRules& rules, TReportWriter& report,
             const TQuilletEnvironment& environment, const std::string& person) {
  const std::vector<std::uint64_t> starts = partStarts(log, parts);
  auto endOf = [&starts](std::size_t k) {
    return k + 1 < starts.size() ? std::optional(starts[k + 1]) : std::nullopt;
  };
  // Each later part is scanned on a thread of its own into a report of its
  // own; a failure anywhere stops them all.
  struct TLaterPart {
    std::unique_ptr<TFollowedReport> Bytes;
    std::optional<TReportWriter> Report;
    std::exception_ptr Failure;  // read once its bytes have ended, as is
    bool EndsInSection = false;
  };
  std::vector<TLaterPart> later(starts.size() - 1);
  for (TLaterPart& part : later) {
    part.Bytes = std::make_unique<TFollowedReport>(log.NewReport());
    part.Report.emplace(*part.Bytes, environment, person, TReportWriter::LaterPart);
  }
  std::atomic<bool> stop = false, sawSection = false;
  bool endsInSection = false;
  auto scanLater = [&](std::size_t k) {
    try {
      TRangeSource input(log.Open(starts[k + 1], endOf(k + 1)), std::nullopt, &stop);
      TLogScan scan(rules, input, *later[k].Report);
      if (scan.Run()) sawSection = true;
      later[k].EndsInSection = scan.EndsInSection();
      later[k].Report->Flush();
    } catch (...) {
      later[k].Failure = std::current_exception();
      stop = true;
    }
    later[k].Bytes->End();
  };
  // Declared after the parts, so that they end before the parts go.
  std::vector<std::jthread> threads;
  std::vector<std::size_t> unthreaded;
  for (std::size_t k = 0; k < later.size(); ++k) try {
      if (!EngineThreads()) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      threads.emplace_back(scanLater, k);
    } catch (const std::system_error&) {
      unthreaded.push_back(k);  // no thread to be had: scanned below
    }
  try {
    TRangeSource input(log.Open(0, endOf(0)), std::nullopt, &stop);
    TLogScan scan(rules, input, report);
    if (scan.Run()) sawSection = true;
    endsInSection = scan.EndsInSection();
    for (const std::size_t k : unthreaded) scanLater(k);
    // Each later part's report is joined while it is still written, so that
    // little of it is left to copy when it ends.
    for (TLaterPart& part : later) {
      part.Bytes->WaitForStart();
      report.Append(*part.Report, *part.Bytes);
      if (part.Failure) std::rethrow_exception(part.Failure);
    }
  } catch (...) {
    stop = true;
    throw;
  }
  if (!later.empty()) endsInSection = later.back().EndsInSection;
  return {sawSection, endsInSection};
}
