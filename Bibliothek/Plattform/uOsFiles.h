#pragma once
// Files and directories. Paths are as switch values give them: on POSIX a "\"
// stands for "/" (a switch value can never hold "/"), mapped here where the
// file system is touched. Functions report; the caller words the message.
#include <cstddef>
#include <cstdint>
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
