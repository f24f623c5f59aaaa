#pragma once
// The real file system and settings store with one call made to fail: the
// Nth call of one operation (counted among its calls on a path or name that
// holds `Only`) fails as the operation reports failure, or throws
// std::bad_alloc. A test walks every failure point by raising N until no
// call is hit any more.
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "Bibliothek/Plattform/uOsIni.h"
#include "Bibliothek/Plattform/uOsRegistry.h"
#include "Bibliothek/Schalter/uSwitchExport.h"
#include "Bibliothek/uFileRoutines.h"

enum class TFileOp {
  OpenRead, Read, Lock, IsReplaceable, CreateTemp, Write, Flush, SameFile, Replace, FlushFolder,
  MakeDirectory, IniWrite, RegWrite
};

struct TFault {
  TFileOp Op;
  std::string Only;  // a text the call's path (or value name) holds; empty: every call
  int Nth = 0;       // 1-based; 0 fails nothing
  bool OutOfMemory = false;
};

class TFaultyFiles : public TRealFileSystem, public TSettingsStore {
public:
  /// `readPiece` caps what one Read returns (0: no cap), so a file takes several.
  explicit TFaultyFiles(TFault fault, std::size_t readPiece = 0) : FFault(std::move(fault)), FReadPiece(readPiece) {}

  bool Injected() const { return !FSubject.empty(); }
  /// The path (a value's name for the registry) of the call that failed.
  const std::string& FailedSubject() const { return FSubject; }
  int IniFlushes() const { return FIniFlushes; }
  /// The paths whose failure the run told on standard error, in order.
  const std::vector<std::string>& Told() const { return FTold; }
  void TellFailure(const std::string& path) override {
    const std::lock_guard lock(FMutex);
    FTold.push_back(path);
  }

  std::optional<TOsFile> OpenRead(const std::string& path) override {
    if (Fails(TFileOp::OpenRead, path)) return std::nullopt;
    const std::optional<TOsFile> file = TRealFileSystem::OpenRead(path);
    if (file) Remember(*file, path);
    return file;
  }
  // The old report is opened so; it fails as an OpenRead of it.
  std::optional<TOsFile> OpenReplaced(const std::string& path, bool& missing) override {
    missing = false;
    if (Fails(TFileOp::OpenRead, path)) return std::nullopt;
    const std::optional<TOsFile> file = TRealFileSystem::OpenReplaced(path, missing);
    if (file) Remember(*file, path);
    return file;
  }
  std::optional<std::size_t> Read(TOsFile file, char* buffer, std::size_t size) override {
    if (Fails(TFileOp::Read, PathOf(file))) return std::nullopt;
    return TRealFileSystem::Read(file, buffer, FReadPiece != 0 && size > FReadPiece ? FReadPiece : size);
  }
  std::optional<std::size_t> ReadAt(TOsFile file, std::uint64_t offset, char* buffer, std::size_t size) override {
    if (Fails(TFileOp::Read, PathOf(file))) return std::nullopt;
    return TRealFileSystem::ReadAt(file, offset, buffer, FReadPiece != 0 && size > FReadPiece ? FReadPiece : size);
  }
  std::optional<TOsFile> Lock(const std::string& lockPath, unsigned waitSeconds, bool* timedOut) override {
    return Fails(TFileOp::Lock, lockPath) ? std::nullopt : TRealFileSystem::Lock(lockPath, waitSeconds, timedOut);
  }
  bool IsReplaceable(const std::string& path) override {
    return !Fails(TFileOp::IsReplaceable, path) && TRealFileSystem::IsReplaceable(path);
  }
  std::optional<TOsFile> CreateTempBeside(const std::string& target, std::string& tempPath,
                                          std::optional<TOsFile> model = std::nullopt) override {
    if (Fails(TFileOp::CreateTemp, target)) return std::nullopt;
    const std::optional<TOsFile> file = TRealFileSystem::CreateTempBeside(target, tempPath, model);
    if (file) Remember(*file, tempPath);
    return file;
  }
  bool Write(TOsFile file, const char* data, std::size_t size) override {
    return !Fails(TFileOp::Write, PathOf(file)) && TRealFileSystem::Write(file, data, size);
  }
  bool WriteAt(TOsFile file, std::uint64_t offset, const char* data, std::size_t size) override {
    return !Fails(TFileOp::Write, PathOf(file)) && TRealFileSystem::WriteAt(file, offset, data, size);
  }
  bool Flush(TOsFile file) override { return !Fails(TFileOp::Flush, PathOf(file)) && TRealFileSystem::Flush(file); }
  bool IsSameFile(TOsFile file, const std::string& path) override {
    return !Fails(TFileOp::SameFile, path) && TRealFileSystem::IsSameFile(file, path);
  }
  bool Replace(const std::string& source, const std::string& target) override {
    return !Fails(TFileOp::Replace, target) && TRealFileSystem::Replace(source, target);
  }
  bool FlushFolderOf(const std::string& path) override {
    return !Fails(TFileOp::FlushFolder, path) && TRealFileSystem::FlushFolderOf(path);
  }
  bool MakeDirectory(const std::string& path) override {
    return !Fails(TFileOp::MakeDirectory, path) && TRealFileSystem::MakeDirectory(path);
  }

  bool IniWrite(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value) override {
    return !Fails(TFileOp::IniWrite, file) && OsIniWrite(file, section, key, value);
  }
  void IniFlush(const std::string& file) override {
    ++FIniFlushes;
    OsIniFlush(file);
  }
  bool RegWriteString(const std::string& keyPath, const std::string& name, const std::string& value) override {
    return !Fails(TFileOp::RegWrite, name) && OsRegWriteString(keyPath, name, value);
  }

private:
  // The engine calls from several threads at once.
  void Remember(TOsFile file, const std::string& path) {
    const std::lock_guard lock(FMutex);
    FPaths[file] = path;
  }
  std::string PathOf(TOsFile file) {
    const std::lock_guard lock(FMutex);
    return FPaths[file];
  }
  bool Fails(TFileOp op, const std::string& subject) {
    const std::lock_guard lock(FMutex);
    if (op != FFault.Op || subject.find(FFault.Only) == std::string::npos || ++FCalls != FFault.Nth) return false;
    FSubject = subject;
    if (FFault.OutOfMemory) throw std::bad_alloc();
    return true;
  }

  TFault FFault;
  std::size_t FReadPiece;
  int FCalls = 0;
  std::string FSubject;
  int FIniFlushes = 0;
  std::map<TOsFile, std::string> FPaths;
  std::vector<std::string> FTold;
  std::mutex FMutex;
};
