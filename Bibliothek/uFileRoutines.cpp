#include "Bibliothek/uFileRoutines.h"

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uStringRoutines.h"

namespace {
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
}  // namespace

bool TRealFileSystem::DirectoryExists(const std::string& path) { return OsDirectoryExists(path); }
bool TRealFileSystem::MakeDirectory(const std::string& path) { return OsCreateDirectory(path); }
std::optional<TOsFile> TRealFileSystem::OpenRead(const std::string& path) { return OsOpenRead(path); }
std::optional<std::size_t> TRealFileSystem::Read(TOsFile file, char* buffer, std::size_t size) {
  return OsReadFile(file, buffer, size);
}
std::optional<std::size_t> TRealFileSystem::ReadAt(TOsFile file, std::uint64_t offset, char* buffer,
                                                   std::size_t size) {
  return OsReadFileAt(file, offset, buffer, size);
}
bool TRealFileSystem::IsSameFile(TOsFile file, const std::string& path) { return OsIsSameFile(file, path); }
std::optional<std::uint64_t> TRealFileSystem::FileSize(TOsFile file) { return OsFileSize(file); }
std::optional<TOsFile> TRealFileSystem::CreateTempBeside(const std::string& target, std::string& tempPath,
                                                        std::optional<TOsFile> model) {
  return OsCreateTempFileBeside(target, tempPath, model);
}
bool TRealFileSystem::Write(TOsFile file, const char* data, std::size_t size) {
  return OsWriteFile(file, data, size);
}
bool TRealFileSystem::WriteAt(TOsFile file, std::uint64_t offset, const char* data, std::size_t size) {
  return OsWriteFileAt(file, offset, data, size);
}
bool TRealFileSystem::StartWriteBack(TOsFile file, std::uint64_t offset, std::uint64_t size) {
  return OsStartWriteBack(file, offset, size);
}
void TRealFileSystem::ForgetRead(TOsFile file, std::uint64_t offset, std::uint64_t size) {
  OsForgetRead(file, offset, size);
}
bool TRealFileSystem::Discard(TOsFile file, std::uint64_t offset, std::uint64_t size) {
  return OsDiscardFileRange(file, offset, size);
}
bool TRealFileSystem::Flush(TOsFile file) { return OsFlushFile(file); }
void TRealFileSystem::Close(TOsFile file) { OsCloseFile(file); }
bool TRealFileSystem::Replace(const std::string& source, const std::string& target) {
  return OsReplaceFile(source, target);
}
bool TRealFileSystem::Remove(const std::string& path) { return OsRemoveFile(path); }
std::string TRealFileSystem::ReplacedPath(const std::string& path) { return OsReplacedFilePath(path); }
bool TRealFileSystem::IsReplaceable(const std::string& path) { return OsIsReplaceable(path); }
void TRealFileSystem::RemoveStaleTemps(const std::string& target) { OsRemoveStaleTempFiles(target); }
std::optional<TOsFile> TRealFileSystem::OpenReplaced(const std::string& path, bool& missing) {
  return OsOpenReplaced(path, missing);
}
std::optional<TOsFile> TRealFileSystem::Lock(const std::string& lockPath, unsigned waitSeconds, bool* timedOut) {
  return OsLockFile(lockPath, waitSeconds, timedOut);
}
std::string TRealFileSystem::LockHolder(const std::string& lockPath) { return OsLockHolder(lockPath); }
void TRealFileSystem::Unlock(TOsFile lock, const std::string& lockPath) { OsUnlockFile(lock, lockPath); }
bool TRealFileSystem::FlushFolderOf(const std::string& path) { return OsFlushFolderOf(path); }
void TRealFileSystem::TellFailure(const std::string& path) { OsWriteFileFailure(path); }

TFileSystem& RealFileSystem() {
  // Stateless, so one shared instance serves every thread.
  static TRealFileSystem files;
  return files;
}

void ForceDirectoryPath(const std::string& path, TFileSystem& files) {
  if (path.empty()) return;
  const TCharSet separators = CharSet("\\/");
  // Names are joined with the separator the path itself uses; a path written
  // with "/" only (a POSIX path) keeps "/", every other one gets "\".
  const char sep = (Pos("/", path) != 0 && Pos("\\", path) == 0) ? '/' : '\\';

  std::string directory;  // the running directory, always ending in a separator
  std::string rest;       // the names still to walk
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // A network path: server and share cannot be created, so start below them.
    const std::string server = WordAt(path, separators, 1);
    const std::string share = WordAt(path, separators, 2);
    if (server.empty() || share.empty()) return;
    directory = std::string(2, sep) + server + sep + share + sep;
    std::size_t at = path.find(share, 2 + server.size()) + share.size();
    rest = path.substr(at);
  } else if (IsSeparator(path[0])) {
    // Rooted on the current drive (POSIX: the root); keep the root.
    directory = std::string(1, sep);
    rest = path;
  } else if (WordCount(path, CharSet(":")) == 1) {
    rest = path;  // relative to the current directory
  } else {
    directory = WordAt(path, CharSet(":"), 1) + ":" + sep;
    rest = path;
    std::size_t firstSep = 0;
    while (firstSep < rest.size() && !IsSeparator(rest[firstSep])) ++firstSep;
    if (firstSep < rest.size()) rest.erase(0, firstSep + 1);
  }

  const int n = WordCount(rest, separators);
  for (int i = 1; i <= n; ++i) {
    const std::string name = WordAt(rest, separators, i);
    if (name.empty()) continue;  // only blanks between two separators
    directory += name;
    directory += sep;
    if (!files.DirectoryExists(directory) && !files.MakeDirectory(directory))
      throw EFailure(FormatMessage(SPathCannotBeCreated, directory));
  }
}

// The routines hold no state.
void StartupFileRoutines() {}
void ShutdownFileRoutines() {}
