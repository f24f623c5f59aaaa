#include "filter/uByteStreams.h"

std::size_t TTextSource::Read(char* buffer, std::size_t size) {
  if (FPiece != 0) size = std::min(size, FPiece);
  const std::size_t n = std::min(size, FText.size() - FPosition);
  std::memcpy(buffer, FText.data() + FPosition, n);
  FPosition += n;
  return n;
}

std::size_t TJoinedSource::Read(char* buffer, std::size_t size) {
  const std::size_t n = FFront.Read(buffer, size);
  return n > 0 ? n : FRest.Read(buffer, size);
}

bool TFileSource::Open() {
  const std::optional<TOsFile> file = FFiles.OpenRead(FPath);
  if (file) FFile = *file;
  return file.has_value();
}

void TFileSource::Close() {
  if (FFile && !FBorrowed) FFiles.Close(*FFile);
  FFile.reset();
}

std::size_t TFileSource::Read(char* buffer, std::size_t size) {
  const std::optional<std::size_t> n = FFiles.Read(*FFile, buffer, size);
  if (!n) throw EFailure(FFailure);
  if (FForget && *n > 0) FFiles.ForgetRead(*FFile, FRead, *n);
  FRead += *n;
  return *n;
}

std::unique_ptr<TByteSource> TFileSource::ReadFrom(std::uint64_t offset) const {
  return std::make_unique<TFileAtSource>(FFiles, *FFile, offset, FFailure);
}

std::size_t TFileAtSource::Read(char* buffer, std::size_t size) {
  const std::optional<std::size_t> n = FFiles.ReadAt(FFile, FOffset, buffer, size);
  if (!n) {
    if (!FTellAbout.empty()) FFiles.TellFailure(FTellAbout);
    throw EFailure(FFailure);
  }
  if (FDiscard && *n > 0) FFiles.Discard(FFile, FOffset, *n);
  FOffset += *n;
  return *n;
}

std::size_t TRangeSource::Read(char* buffer, std::size_t size) {
  if (FStop && FStop->load(std::memory_order_relaxed)) return 0;
  if (FLeft) size = static_cast<std::size_t>(std::min<std::uint64_t>(size, *FLeft));
  const std::size_t n = size == 0 ? 0 : FSource.Read(buffer, size);
  if (FLeft) *FLeft -= n;
  return n;
}

void TFileSink::Write(const char* data, std::size_t size) {
  if (FWay != ToDisk) return Put(data, size);
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

void TFileSink::Finish() {
  Put(FTail.data(), FTailSize);
  FTailSize = 0;
}

void TFileSink::Put(const char* data, std::size_t size) {
  if (size == 0) return;
  if (!(FWay == AtPlace ? FFiles.WriteAt(FFile, FWritten, data, size) : FFiles.Write(FFile, data, size))) {
    // The system's reason is this thread's: told here, where it is known.
    FFiles.TellFailure(FPath);
    throw EFailure(FormatMessage(SCannotCreateFile, FPath));
  }
  FWritten += size;
}
