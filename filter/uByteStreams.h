#pragma once
// Byte sources and sinks: the input file (read in turn or at a place), a
// test's text, a range of another source, some bytes joined to a source, and
// the report's file or text. Large pieces pass through them, never lines.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uFileRoutines.h"

// File messages, worded like the system's other file failures. Like every
// text without an English wording, a constant beside the code that uses it;
// the texts that have one are the strings of the constants modules.
inline constexpr char SCannotOpenFile[] = "Datei %s kann nicht ge\xF6" "ffnet werden";
inline constexpr char SCannotCreateFile[] = "Datei %s kann nicht erstellt werden";

// Reading and writing in large pieces keeps system calls rare; the buffers are
// the engine's whole memory apart from the longest line.
constexpr std::size_t ChunkSize = 1 << 20;
// The report's bytes are handed to the disk in pieces of this size while it is
// written, so that the final flush has little left to wait for.
constexpr std::uint64_t WriteBackSize = 2 << 20;

// The system copies a file's bytes into memory several times faster (five
// to ten here) where the bytes land at the same place within a cache line of
// this size as they lie in the file.
constexpr std::size_t CopyAlignment = 64;

// A chunk buffer, starting at a multiple of CopyAlignment. Not cleared when
// made or grown: every byte is written before it is read, and a run touches
// only the pages it needs.
class TBuffer {
public:
  explicit TBuffer(std::size_t size) : FData(allocate(size)), FSize(size) {}
  char* data() { return FData.get(); }
  const char* data() const { return FData.get(); }
  std::size_t size() const { return FSize; }
  char& operator[](std::size_t at) { return FData[at]; }
  /// Keeps the bytes that fit.
  void resize(std::size_t size) {
    TData bigger = allocate(size);
    std::memcpy(bigger.get(), FData.get(), std::min(size, FSize));
    FData = std::move(bigger);
    FSize = size;
  }

private:
  struct TFree {
    void operator()(char* data) const { ::operator delete[](data, std::align_val_t(CopyAlignment)); }
  };
  using TData = std::unique_ptr<char[], TFree>;
  static TData allocate(std::size_t size) {
    return TData(static_cast<char*>(::operator new[](size, std::align_val_t(CopyAlignment))));
  }

  TData FData;
  std::size_t FSize;
};

/// Something to read lines from: the input file or a test's text.
class TByteSource {
public:
  virtual ~TByteSource() = default;
  /// Up to `size` bytes from the current position; 0 at the end. Fails with a message.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  /// Where the next byte lies in the file (or text) read, as far as known:
  /// a reader places its buffer by it (see CopyAlignment).
  virtual std::uint64_t Offset() const { return 0; }
};

/// Where the report's bytes go: the temporary output file or a test's text.
class TByteSink {
public:
  virtual ~TByteSink() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
};

class TTextSource : public TByteSource {
public:
  /// `pieceSize` caps what one Read hands out (0: no cap).
  explicit TTextSource(std::string_view text, std::size_t pieceSize = 0) : FText(text), FPiece(pieceSize) {}
  std::size_t Read(char* buffer, std::size_t size) override;
  std::uint64_t Offset() const override { return FPosition; }

private:
  std::string_view FText;
  std::size_t FPiece;
  std::size_t FPosition = 0;
};

/// Some bytes already read, then the rest of a source.
class TJoinedSource : public TByteSource {
public:
  TJoinedSource(std::string_view front, TByteSource& rest) : FFront(front), FRest(rest) {}
  std::size_t Read(char* buffer, std::size_t size) override;

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
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;
  /// False when the file cannot be opened.
  bool Open();
  /// Reads `file`, which stays open: standard input.
  void Borrow(TOsFile file) {
    FFile = file;
    FBorrowed = true;
  }
  /// Reads `file`, opened elsewhere, and closes it with the source.
  void Adopt(TOsFile file) { FFile = file; }
  /// The handle, for taking the file's permissions over to its successor.
  TOsFile Handle() const { return *FFile; }
  /// The file's bytes from `offset` on, read at their place through this
  /// source's handle, so that several parts read one file at once.
  std::unique_ptr<TByteSource> ReadFrom(std::uint64_t offset) const;
  void Close();
  /// None for a borrowed file: it is read once, from where it stands.
  std::optional<std::uint64_t> Size() { return FBorrowed ? std::nullopt : FFiles.FileSize(*FFile); }
  /// What is read of a file that is about to be replaced leaves the system's
  /// cache as it is read, not all at once when the file is removed.
  void ForgetWhatIsRead() { FForget = true; }
  std::size_t Read(char* buffer, std::size_t size) override;
  std::uint64_t Offset() const override { return FRead; }

private:
  TFileSystem& FFiles;
  std::string FPath;
  std::string FFailure;
  std::optional<TOsFile> FFile;
  std::uint64_t FRead = 0;
  bool FForget = false;
  bool FBorrowed = false;
};

/// The bytes of a file another owner holds open, from an offset on, read at
/// their place so that several such sources can read one handle at once.
/// With `discard` the space of what is read goes back to the file system. A
/// failed read fails with `failure`; with a `tellAbout` path the system's
/// reason is told too.
class TFileAtSource : public TByteSource {
public:
  TFileAtSource(TFileSystem& files, TOsFile file, std::uint64_t offset, std::string failure, bool discard = false,
                std::string tellAbout = "")
      : FFiles(files), FFile(file), FOffset(offset), FFailure(std::move(failure)), FTellAbout(std::move(tellAbout)),
        FDiscard(discard) {}
  std::size_t Read(char* buffer, std::size_t size) override;
  std::uint64_t Offset() const override { return FOffset; }

private:
  TFileSystem& FFiles;
  TOsFile FFile;
  std::uint64_t FOffset;
  std::string FFailure, FTellAbout;
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
  std::size_t Read(char* buffer, std::size_t size) override;
  std::uint64_t Offset() const override { return FSource.Offset(); }

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
  /// How the bytes go to the file: in turn; in turn and on to the disk
  /// while the next ones are written (the last ones only with Finish); or
  /// each at its place, so that another thread may read the file meanwhile.
  enum TWay { InTurn, ToDisk, AtPlace };

  /// `path` names the report in the message of a failed write.
  TFileSink(TFileSystem& files, TOsFile file, std::string path, TWay way = ToDisk)
      : FFiles(files), FFile(file), FPath(std::move(path)), FWay(way) {}

  void Write(const char* data, std::size_t size) override;

  /// Writes what is held back.
  void Finish();

private:
  static constexpr std::size_t PageSize = 4096;

  void Put(const char* data, std::size_t size);

  TFileSystem& FFiles;
  TOsFile FFile;
  std::string FPath;
  TWay FWay;
  std::uint64_t FWritten = 0, FWrittenBack = 0;
  std::array<char, PageSize> FTail;
  std::size_t FTailSize = 0;
};
