#pragma once
// The file operations of the engine and the export of the switch set, behind
// one interface, and the creation of a directory path step by step.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "Bibliothek/Plattform/uOsFiles.h"

/// Message of a directory that cannot be created; %s is the directory at that
/// step, trailing separator included. Has no English wording.
inline constexpr char SPathCannotBeCreated[] = "Der Pfad %s kann nicht angelegt werden!";

/// Message of an operation that ran out of memory (a line or a value larger
/// than the memory left). Has no English wording.
inline constexpr char SOutOfMemory[] = "Zu wenig Arbeitsspeicher";

/// The file operations the engine and the export use, each as its Os*
/// function of the same name (uOsFiles.h) describes it. Abstract so that
/// tests can make any call fail; the real implementation is TRealFileSystem.
/// Whole chunks pass through it, never single lines. Callable from several
/// threads at once. To add an operation: declare the Os function in
/// uOsFiles.h (both -posix and -win32, with a contract test), add it here and
/// to TRealFileSystem, and let test/uFaultyFiles.h fail it on request.
class TFileSystem {
public:
  virtual ~TFileSystem() = default;
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual bool MakeDirectory(const std::string& path) = 0;
  virtual std::optional<TOsFile> OpenRead(const std::string& path) = 0;
  virtual std::optional<std::size_t> Read(TOsFile file, char* buffer, std::size_t size) = 0;
  virtual std::optional<std::size_t> ReadAt(TOsFile file, std::uint64_t offset, char* buffer, std::size_t size) = 0;
  virtual bool IsSameFile(TOsFile file, const std::string& path) = 0;
  virtual std::optional<std::uint64_t> FileSize(TOsFile file) = 0;
  virtual std::optional<TOsFile> CreateTempBeside(const std::string& target, std::string& tempPath,
                                                  std::optional<TOsFile> model = std::nullopt) = 0;
  virtual bool Write(TOsFile file, const char* data, std::size_t size) = 0;
  virtual bool WriteAt(TOsFile file, std::uint64_t offset, const char* data, std::size_t size) = 0;
  virtual bool StartWriteBack(TOsFile file, std::uint64_t offset, std::uint64_t size) = 0;
  virtual void ForgetRead(TOsFile file, std::uint64_t offset, std::uint64_t size) = 0;
  virtual bool Discard(TOsFile file, std::uint64_t offset, std::uint64_t size) = 0;
  virtual bool Flush(TOsFile file) = 0;
  virtual void Close(TOsFile file) = 0;
  virtual bool Replace(const std::string& source, const std::string& target) = 0;
  virtual bool Remove(const std::string& path) = 0;
  virtual std::string ReplacedPath(const std::string& path) = 0;
  virtual bool IsReplaceable(const std::string& path) = 0;
  virtual void RemoveStaleTemps(const std::string& target) = 0;
  virtual std::optional<TOsFile> OpenReplaced(const std::string& path, bool& missing) = 0;
  virtual std::optional<TOsFile> Lock(const std::string& lockPath, unsigned waitSeconds, bool* timedOut) = 0;
  virtual std::string LockHolder(const std::string& lockPath) = 0;
  virtual void Unlock(TOsFile lock, const std::string& lockPath) = 0;
  virtual bool FlushFolderOf(const std::string& path) = 0;
  /// Tells why the last call above failed, on `path`, as one line on standard
  /// error (OsWriteFileFailure).
  virtual void TellFailure(const std::string& path) = 0;
};

/// The file system itself, through the Os* functions.
class TRealFileSystem : public TFileSystem {
public:
  bool DirectoryExists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  std::optional<TOsFile> OpenRead(const std::string& path) override;
  std::optional<std::size_t> Read(TOsFile file, char* buffer, std::size_t size) override;
  std::optional<std::size_t> ReadAt(TOsFile file, std::uint64_t offset, char* buffer, std::size_t size) override;
  bool IsSameFile(TOsFile file, const std::string& path) override;
  std::optional<std::uint64_t> FileSize(TOsFile file) override;
  std::optional<TOsFile> CreateTempBeside(const std::string& target, std::string& tempPath,
                                          std::optional<TOsFile> model = std::nullopt) override;
  bool Write(TOsFile file, const char* data, std::size_t size) override;
  bool WriteAt(TOsFile file, std::uint64_t offset, const char* data, std::size_t size) override;
  bool StartWriteBack(TOsFile file, std::uint64_t offset, std::uint64_t size) override;
  void ForgetRead(TOsFile file, std::uint64_t offset, std::uint64_t size) override;
  bool Discard(TOsFile file, std::uint64_t offset, std::uint64_t size) override;
  bool Flush(TOsFile file) override;
  void Close(TOsFile file) override;
  bool Replace(const std::string& source, const std::string& target) override;
  bool Remove(const std::string& path) override;
  std::string ReplacedPath(const std::string& path) override;
  bool IsReplaceable(const std::string& path) override;
  void RemoveStaleTemps(const std::string& target) override;
  std::optional<TOsFile> OpenReplaced(const std::string& path, bool& missing) override;
  std::optional<TOsFile> Lock(const std::string& lockPath, unsigned waitSeconds, bool* timedOut) override;
  std::string LockHolder(const std::string& lockPath) override;
  void Unlock(TOsFile lock, const std::string& lockPath) override;
  bool FlushFolderOf(const std::string& path) override;
  void TellFailure(const std::string& path) override;
};

/// The one real file system, for callers that are handed none.
TFileSystem& RealFileSystem();

/// Makes sure that every directory along `path` exists, creating the missing
/// ones from the outermost inward; directories that exist are left alone.
/// "\" and "/" both separate names, and runs of them count as one. Forms:
///   c:\log\archive   from the drive's root (tests c:\log\ , then c:\log\archive\ )
///   \log\x, /log/x   from the root of the current drive (POSIX: the root)
///   \\server\share\x below the share (server and share are never created)
///   log\x            relative to the current directory
/// Every directory tested or created ends with a separator. Throws EFailure
/// with SPathCannotBeCreated when one cannot be created; the directories made
/// before that step stay. An empty path does nothing.
void ForceDirectoryPath(const std::string& path, TFileSystem& files = RealFileSystem());

void StartupFileRoutines();
void ShutdownFileRoutines();
