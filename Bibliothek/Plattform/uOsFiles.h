#pragma once
// Files and directories. Paths are as switch values give them: on POSIX a "\"
// stands for "/" (a switch value can never hold "/"), mapped here where the
// file system is touched. Functions report; the caller words the message.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

/// True when `path` names an existing directory (Win32: GetFileAttributesA).
bool OsDirectoryExists(const std::string& path);
/// Creates one directory (Win32: CreateDirectoryA); false when it fails.
bool OsCreateDirectory(const std::string& path);
/// True when `path` names an existing file or directory.
bool OsFileExists(const std::string& path);
/// `path` as the file system wants it: POSIX maps "\" to "/", Win32 keeps it.
std::string OsNativePath(const std::string& path);
/// True where file names are the same in any letter case (Win32); POSIX: false.
bool OsFileNamesIgnoreCase();

// The reading, writing, atomic replacement and locking of files are declared
// below by the engine's needs.

// An open file is an opaque handle (Win32 HANDLE, POSIX descriptor). Every
// function below that fails keeps the OS error code (GetLastError / errno)
// for OsLastFileFailure; OsOpenRead also hands it to a caller that gives `error`.
using TOsFile = std::intptr_t;

/// Opens an existing file for sequential reading from its start. Others may
/// read it but not write it (Win32 share mode FILE_SHARE_READ; POSIX has no
/// share modes and keeps nobody out). Files beyond 4 GiB work in both builds.
std::optional<TOsFile> OsOpenRead(const std::string& path, int* error = nullptr);
/// Moves the read position to `offset` bytes from the start (64-bit in both builds).
bool OsSeekFile(TOsFile file, std::uint64_t offset);
/// The size in bytes of an open file; nullopt when it has none (a pipe or a
/// device) or it cannot be told.
std::optional<std::uint64_t> OsFileSize(TOsFile file);
/// Reads up to `size` bytes; 0 at the end of the file; nullopt on a failure.
std::optional<std::size_t> OsReadFile(TOsFile file, char* buffer, std::size_t size);
/// Reads up to `size` bytes from `offset` of a file with a size (OsFileSize),
/// so that several threads can read one handle at once. POSIX: pread, which
/// leaves the read position alone; Win32: ReadFile at an offset, which moves
/// it, so a handle read this way is read only this way.
std::optional<std::size_t> OsReadFileAt(TOsFile file, std::uint64_t offset, char* buffer, std::size_t size);
/// True when `path` (not following a link) names the file `file` is open on.
bool OsIsSameFile(TOsFile file, const std::string& path);

/// The longest name of one folder entry, in bytes, that both builds' file systems take.
inline constexpr std::size_t OsMaxNameBytes = 255;
/// `path` with `suffix` behind it, its last name cut so that name and suffix
/// together stay within OsMaxNameBytes: a file beside `path` named after it.
std::string OsSiblingPath(const std::string& path, const std::string& suffix);

/// Creates or truncates `path` for writing; nobody else may write it meanwhile.
std::optional<TOsFile> OsCreateFile(const std::string& path);
/// Creates a new, empty file in the folder of `target`, named after it with a
/// unique suffix (OsSiblingPath), for writing and reading back through the
/// handle; its path goes to `tempPath`. Never opens an existing file or link.
/// The handle holds a lock on the file while it is open, which tells others
/// that the file is live (OsRemoveStaleTempFiles). Used to replace `target`
/// atomically with OsReplaceFile, beside the file a followed link points at
/// (OsReplacedFilePath). It gets the permissions of the open `model` (the old
/// file) and, where allowed, its owner (Win32: its DACL and group, given at
/// creation); without a model, POSIX takes them from the file `target`
/// names, and a new file gets the umask's (Win32: the folder's inherited rights).
/// An interruption of the process removes it (OsRemoveOnInterrupt) until it
/// is renamed or removed with the functions below.
std::optional<TOsFile> OsCreateTempFileBeside(const std::string& target, std::string& tempPath,
                                             std::optional<TOsFile> model = std::nullopt);
/// Writes all `size` bytes or fails.
bool OsWriteFile(TOsFile file, const char* data, std::size_t size);
/// Writes all `size` bytes at `offset` or fails, so that another thread may
/// read the handle at its own places meanwhile (OsReadFileAt).
bool OsWriteFileAt(TOsFile file, std::uint64_t offset, const char* data, std::size_t size);
/// Forces written data to the disk (Win32 FlushFileBuffers, POSIX fsync).
bool OsFlushFile(TOsFile file);
/// Closes a handle of the functions above (also a lock's handle is released
/// by OsUnlockFile, not here).
void OsCloseFile(TOsFile file);

/// Puts `source` in the place of `target` in one step: readers see either the
/// old or the new file, never a mixture. Win32: MoveFileExA with
/// MOVEFILE_REPLACE_EXISTING. POSIX: rename, onto the file a symbolic link
/// points at. Both must be in one folder.
bool OsReplaceFile(const std::string& source, const std::string& target);
/// Removes a file; false when it cannot be removed (a missing file included).
bool OsRemoveFile(const std::string& path);

/// The file that replacing `path` really replaces: every symbolic link on
/// the way (Win32: reparse point), in a folder's name as in the last name, is
/// followed to its final target, also a missing one, so a dangling link is
/// written through. A link is followed only when its owner is the user who
/// runs or root (Win32: the user, SYSTEM or the Administrators); at any other
/// link, and at one whose owner cannot be told (wine shows a POSIX link as
/// the file it leads to), the path comes back as given and OsIsReplaceable
/// refuses it. Any other path comes back as given.
std::string OsReplacedFilePath(const std::string& path);
/// The file `path` leads to under the same rule as OsReplacedFilePath, for
/// files that are read as well as written (settings files); nullopt at a link
/// it does not follow, anywhere on the way.
std::optional<std::string> OsTrustedPath(const std::string& path);
/// False when `path` names a device, pipe or socket: such a file is never
/// replaced by a regular file (nor read as an old one); nor is a path that
/// leads through a link OsReplacedFilePath does not follow. A folder is left
/// to fail where it is read.
bool OsIsReplaceable(const std::string& path);
/// Opens the file that replacing `path` replaces (OsReplacedFilePath) for
/// reading, never following a link that has appeared since, never waiting
/// (a FIFO), and checks on the handle that it is a regular file. Nullopt when
/// it is not, or it cannot be opened; `missing` tells the file is not there.
std::optional<TOsFile> OsOpenReplaced(const std::string& path, bool& missing);
/// True when `name` is a name OsCreateTempFileBeside gives a file beside a
/// target whose own name is `target`: that name, cut so that the whole stays
/// within OsMaxNameBytes, then ".~", a number, "-" and a number.
inline bool OsIsTempName(const std::string& name, const std::string& target) {
  const std::size_t at = name.rfind(".~");
  const std::size_t dash = name.find('-', at == std::string::npos ? 0 : at);
  auto digits = [&](std::size_t from, std::size_t to) {
    return from < to && name.find_first_not_of("0123456789", from) >= to;
  };
  if (at == std::string::npos || dash == std::string::npos || !digits(at + 2, dash) ||
      !digits(dash + 1, name.size()))
    return false;
  const std::size_t suffix = name.size() - at;
  const std::size_t keep = std::min(target.size(), OsMaxNameBytes > suffix ? OsMaxNameBytes - suffix : 0);
  return at == keep && name.compare(0, keep, target, 0, keep) == 0;
}
/// Removes the temporary files OsCreateTempFileBeside made for `target` that
/// no handle holds locked any more (left by a killed run, of either build and
/// any process namespace). Call only while holding target's lock.
void OsRemoveStaleTempFiles(const std::string& target);
/// The system's words for this thread's last failed file operation above.
std::string OsLastFileFailure();
/// Writes "`path`: " and those words as one line on standard error.
void OsWriteFileFailure(const std::string& path);

/// Takes the lock named by `lockPath`, waiting as long as another process (or
/// another handle of this one) holds it, but at most `waitSeconds` (0: no
/// limit); then it fails with `timedOut` set. Any other trouble fails at
/// once. The lock file exists only while the lock is held or waited for.
/// Both builds lock byte 0 of the file (POSIX: an open file description
/// lock; Win32: LockFileEx), so that they keep each other out, then check that
/// the path still names the locked file (a releasing holder removes it, and a
/// file that vanishes meanwhile is simply made anew). A new lock file gets
/// the mode 0666 as the umask allows (Win32: the folder's inherited rights).
/// A lock file of another user that this one may not write is opened for
/// reading, and its lock taken through that (POSIX: a read lock on byte 0,
/// which waits for and keeps out the holders that write, and a whole-file
/// flock that keeps out the others that only read); one this user may not
/// even read is waited for while a live run holds it and removed once none
/// does (POSIX: no lock on it; Win32: no handle open on it, which wine cannot
/// tell across users, so there the wait lasts until its holder removes it or
/// the limit passes). So a waiter never fails because another user holds or
/// held the lock.
/// An interrupted holder removes the file (OsRemoveOnInterrupt).
std::optional<TOsFile> OsLockFile(const std::string& lockPath, unsigned waitSeconds = 0, bool* timedOut = nullptr);
/// Releases a lock of OsLockFile and removes its file.
void OsUnlockFile(TOsFile lock, const std::string& lockPath);

/// The lock of a settings file's read-modify-replace (`file` as replaced,
/// ".lock" behind it), held for the guard's life, so that among processes
/// and threads no writer loses another's value.
class TOsFileWriteLock {
public:
  explicit TOsFileWriteLock(const std::string& file)
      : FPath(OsReplacedFilePath(file) + ".lock"), FLock(OsLockFile(FPath)) {}
  ~TOsFileWriteLock() {
    if (FLock) OsUnlockFile(*FLock, FPath);
  }
  TOsFileWriteLock(const TOsFileWriteLock&) = delete;
  TOsFileWriteLock& operator=(const TOsFileWriteLock&) = delete;
  bool Held() const { return FLock.has_value(); }

private:
  std::string FPath;
  std::optional<TOsFile> FLock;
};
/// Who holds the lock `lockPath`, as far as the system tells: the account
/// that owns the lock file (the user who made it); empty when unknown.
std::string OsLockHolder(const std::string& lockPath);

/// Starts writing `size` bytes from `offset` of `file` to the disk without
/// waiting, so that the final OsFlushFile finds little left to do. Linux:
/// sync_file_range; Win32: FlushFileBuffers of the whole file on a thread of
/// its own (OsCloseFile waits for it); elsewhere nothing. False only when the
/// request failed.
bool OsStartWriteBack(TOsFile file, std::uint64_t offset, std::uint64_t size);
/// Tells the system that the `size` bytes from `offset` of a file opened for
/// reading will not be read again, so that it can drop them from its cache
/// now rather than when the file is removed. POSIX: posix_fadvise
/// DONTNEED; Win32: nothing.
void OsForgetRead(TOsFile file, std::uint64_t offset, std::uint64_t size);
/// Gives the space of `size` bytes from `offset` of a file back to the file
/// system; they read as zeros after. A temporary file that is copied
/// elsewhere so never needs room twice. Linux: fallocate punching a hole;
/// elsewhere nothing (false).
bool OsDiscardFileRange(TOsFile file, std::uint64_t offset, std::uint64_t size);
/// Whether OsDiscardFileRange gives space back here at all (Linux: where the
/// file system punches holes; Win32: never).
bool OsDiscardsFileRanges();
/// The bytes this user may still write on the volume that holds `path` (a
/// file or a folder; a missing file: its folder); nullopt when that cannot be told.
std::optional<std::uint64_t> OsFreeDiskBytes(const std::string& path);
/// Forces the folder entry of `path` (after OsReplaceFile) to the disk, so a
/// power cut cannot bring back the old file. POSIX: fsync of the folder (of
/// the file a symbolic link points at); Win32: nothing, MoveFileEx has done it.
bool OsFlushFolderOf(const std::string& path);
