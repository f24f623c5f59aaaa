#pragma once
// Files and directories. Paths are as switch values give them: on POSIX a "\"
// stands for "/" (a switch value can never hold "/"), mapped here where the
// file system is touched. Functions report; the caller words the message.
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

// The reading, writing, atomic replacement and locking of files are declared
// below by the engine's needs.

// An open file is an opaque handle (Win32 HANDLE, POSIX descriptor). Every
// function below saves the OS error code (GetLastError / errno) in `error`
// when it fails and one is given.
using TOsFile = std::intptr_t;

/// Opens an existing file for sequential reading from its start. Others may
/// read it but not write it (Win32 share mode FILE_SHARE_READ; POSIX has no
/// share modes and keeps nobody out). Files beyond 4 GiB work in both builds.
std::optional<TOsFile> OsOpenRead(const std::string& path, int* error = nullptr);
/// Moves the read position to `offset` bytes from the start (64-bit in both builds).
bool OsSeekFile(TOsFile file, std::uint64_t offset, int* error = nullptr);
/// The size in bytes of an open file; nullopt when it has none (a pipe or a
/// device) or it cannot be told.
std::optional<std::uint64_t> OsFileSize(TOsFile file, int* error = nullptr);
/// Reads up to `size` bytes; 0 at the end of the file; nullopt on a failure.
std::optional<std::size_t> OsReadFile(TOsFile file, char* buffer, std::size_t size,
                                      int* error = nullptr);

/// Creates or truncates `path` for writing; nobody else may write it meanwhile.
std::optional<TOsFile> OsCreateFile(const std::string& path, int* error = nullptr);
/// Creates a new, empty file in the folder of `target`, named after it with a
/// unique suffix, for writing; its path goes to `tempPath`. Used to replace
/// `target` atomically with OsReplaceFile. POSIX: beside the file a symbolic
/// link points at, with the old file's permissions and (where allowed) owner.
std::optional<TOsFile> OsCreateTempFileBeside(const std::string& target, std::string& tempPath,
                                              int* error = nullptr);
/// Writes all `size` bytes or fails.
bool OsWriteFile(TOsFile file, const char* data, std::size_t size, int* error = nullptr);
/// Forces written data to the disk (Win32 FlushFileBuffers, POSIX fsync).
bool OsFlushFile(TOsFile file, int* error = nullptr);
/// Closes a handle of the functions above (also a lock's handle is released
/// by OsUnlockFile, not here).
void OsCloseFile(TOsFile file);

/// Puts `source` in the place of `target` in one step: readers see either the
/// old or the new file, never a mixture. Win32: MoveFileExA with
/// MOVEFILE_REPLACE_EXISTING. POSIX: rename, onto the file a symbolic link
/// points at. Both must be in one folder.
bool OsReplaceFile(const std::string& source, const std::string& target, int* error = nullptr);
/// Removes a file; false when it cannot be removed (a missing file included).
bool OsRemoveFile(const std::string& path, int* error = nullptr);

/// The file that replacing `path` really replaces: a symbolic link (Win32: a
/// reparse point) is followed to its final target, also a missing one, so a
/// dangling link is written through. Any other path comes back as given.
std::string OsReplacedFilePath(const std::string& path);
/// False when `path` names a device, pipe or socket: such a file is never
/// replaced by a regular file (nor read as an old one). A folder is left to
/// fail where it is read.
bool OsIsReplaceable(const std::string& path, int* error = nullptr);
/// Removes the temporary files OsCreateTempFileBeside made for `target` whose
/// process has ended (a killed run). Call only while holding target's lock.
void OsRemoveStaleTempFiles(const std::string& target);
/// The system's words for this thread's last failed file operation above.
std::string OsLastFileFailure();
/// Writes "`path`: " and those words as one line on standard error.
void OsWriteFileFailure(const std::string& path);

/// Takes the lock named by `lockPath`, waiting as long as another process (or
/// another handle of this one) holds it. The lock file exists only while the
/// lock is held. Win32: the file opened without sharing and deleted on close,
/// retried while it is taken. POSIX: flock on the file, then a check that the
/// path still names the locked file (a releasing holder unlinks it).
std::optional<TOsFile> OsLockFile(const std::string& lockPath, int* error = nullptr);
/// Releases a lock of OsLockFile and removes its file.
void OsUnlockFile(TOsFile lock, const std::string& lockPath);

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
/// Forces the folder entry of `path` (after OsReplaceFile) to the disk, so a
/// power cut cannot bring back the old file. POSIX: fsync of the folder (of
/// the file a symbolic link points at); Win32: nothing, MoveFileEx has done it.
bool OsFlushFolderOf(const std::string& path, int* error = nullptr);
