#pragma once
// The log as parts: where a large log is cut (behind end rows, where the
// scan is in the same state whatever came before), the scan of each later
// part on a thread of its own into a report of its own, and the join of
// those reports behind the first part's, each while it is still written, so
// that the report is the same for every cut. A single scan needs none of it
// but ScanLog's one call.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "filter/uByteStreams.h"
#include "filter/uLogScan.h"
#include "filter/uReportWriter.h"

/// Whether the engine may start threads of its own (the later parts' scans,
/// the old report's reader). Tests turn it off to run what the engine does
/// where no thread can be had.
void SetEngineThreads(bool allowed);
bool EngineThreads();

/// The log, readable from any position, and where the reports of its later
/// parts wait until the parts before them are written.
class TLogParts {
public:
  /// A later part's report.
  class TPartReport {
  public:
    virtual ~TPartReport() = default;
    virtual TByteSink& Sink() = 0;
    /// The bytes the sink took, from the first on; called once, maybe before
    /// the first write. Another thread may read while the sink is written,
    /// but never beyond the bytes whose writes have returned.
    virtual std::unique_ptr<TByteSource> ReadBack() = 0;
  };

  virtual ~TLogParts() = default;
  /// The log's size; nullopt when it can only be read once, from its start.
  virtual std::optional<std::uint64_t> Size() = 0;
  /// The log's bytes from `from` up to `to` (none: to its end).
  virtual std::unique_ptr<TByteSource> Open(std::uint64_t from, std::optional<std::uint64_t> to) = 0;
  virtual std::unique_ptr<TPartReport> NewReport() = 0;
  /// Whether a log of `logBytes` may be cut: the later parts' reports wait
  /// beside the report, and where their space is not given back as they are
  /// joined, the disk must hold them and their copy in the report.
  virtual bool RoomForParts(std::uint64_t) { return true; }
};

class TTextLog : public TLogParts {
public:
  TTextLog(std::string_view text, std::size_t pieceSize) : FText(text), FPiece(pieceSize) {}
  std::optional<std::uint64_t> Size() override { return FText.size(); }
  std::unique_ptr<TByteSource> Open(std::uint64_t from, std::optional<std::uint64_t> to) override {
    return std::make_unique<TTextSource>(FText.substr(from, to ? *to - from : std::string_view::npos), FPiece);
  }
  std::unique_ptr<TPartReport> NewReport() override {
    // A text grows into new room as it is written: it is read and written
    // under one lock.
    struct TTextReport : TPartReport, TByteSink {
      TByteSink& Sink() override { return *this; }
      void Write(const char* data, std::size_t size) override {
        const std::lock_guard lock(FMutex);
        FText.append(data, size);
      }
      std::unique_ptr<TByteSource> ReadBack() override {
        struct TReader : TByteSource {
          explicit TReader(TTextReport& report) : FReport(report) {}
          std::size_t Read(char* buffer, std::size_t size) override {
            const std::lock_guard lock(FReport.FMutex);
            const std::size_t n = std::min(size, FReport.FText.size() - FRead);
            std::memcpy(buffer, FReport.FText.data() + FRead, n);
            FRead += n;
            return n;
          }
          TTextReport& FReport;
          std::size_t FRead = 0;
        };
        return std::make_unique<TReader>(*this);
      }
      std::mutex FMutex;
      std::string FText;
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
    return std::make_unique<TRangeSource>(FOpened.ReadFrom(from), to ? std::optional(*to - from) : std::nullopt);
  }

  std::unique_ptr<TPartReport> NewReport() override {
    class TFileReport : public TPartReport {
    public:
      TFileReport(TFileSystem& files, const std::string& output, const std::string& outputName) : FFiles(files) {
        FFile = FFiles.CreateTempBeside(output, FPath);
        if (!FFile) {
          FFiles.TellFailure(outputName);
          throw EFailure(FormatMessage(SCannotCreateFile, outputName));
        }
        FSink.emplace(FFiles, *FFile, outputName, TFileSink::AtPlace);
        FOutputName = outputName;
      }
      ~TFileReport() override {
        FFiles.Close(*FFile);
        FFiles.Remove(FPath);
      }
      TByteSink& Sink() override { return *FSink; }
      // What is copied into the report gives its space back at once, so
      // that the join needs no room for a second copy of this part.
      std::unique_ptr<TByteSource> ReadBack() override {
        return std::make_unique<TFileAtSource>(FFiles, *FFile, 0, FormatMessage(SCannotCreateFile, FOutputName), true,
                                               FOutputName);
      }

    private:
      TFileSystem& FFiles;
      std::string FPath, FOutputName;
      std::optional<TOsFile> FFile;
      std::optional<TFileSink> FSink;
    };
    return std::make_unique<TFileReport>(FFiles, FOutput, FOutputName);
  }

  // Cut only when the disk holds the log's bytes twice over, a report's
  // usual bound, unless the space of what is joined is given back.
  bool RoomForParts(std::uint64_t logBytes) override {
    if (OsDiscardsFileRanges()) return true;
    const std::optional<std::uint64_t> free = OsFreeDiskBytes(FOutput);
    return free && *free / 2 >= logBytes;
  }

private:
  TFileSystem& FFiles;
  TFileSource& FOpened;
  std::string FOutput, FOutputName;
};

/// Scans `log` into `report`: in about `parts` parts (0: by the log's size
/// and the processors), the later ones each on a thread of its own, joined
/// behind the first in order. Every count gives the same report and the
/// same outcome: every part but the last ends behind an end row.
TScanOutcome ScanLog(TLogParts& log, std::size_t parts, const TScanRules& rules, TReportWriter& report,
             const TQuilletEnvironment& environment, const std::string& person);
