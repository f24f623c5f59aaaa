#pragma once
// Win32 side, shared by the platform's own files (not a platform header):
// who may own a link or a settings file that the user's run trusts, and the
// helpers of uOsFiles-win32.cpp and uOsLocks-win32.cpp that both use.
#include <windows.h>

#include <string>

#include "Bibliothek/Plattform/uOsFiles.h"

/// Whether the user who runs, SYSTEM or the Administrators own the file that
/// `handle` is open on (defined in uOsLocks-win32.cpp).
bool OsWinOwnedByUserOrAdmin(HANDLE handle);

/// Keeps GetLastError() as this thread's last failure (OsLastFileFailure) and
/// hands it to a caller that gives `error`.
void winSetError(int* error);

inline HANDLE winHandle(TOsFile file) { return reinterpret_cast<HANDLE>(file); }
inline TOsFile winFile(HANDLE handle) { return reinterpret_cast<TOsFile>(handle); }

// The whole-file lock both builds agree on: byte 0 of the file (wine holds it
// as a POSIX lock on that byte, which the POSIX build's own lock conflicts with).
bool winLockByte(HANDLE file, bool exclusive);

// The path a handle is open on, as the system names it ("\\?\" taken off);
// empty when it cannot tell.
std::string winFinalPath(HANDLE file);

// True when `path`, not followed if it is a link, names the file `file` is open on.
bool winSameFile(HANDLE file, const std::string& path);

/// The file that replacing `path` replaces: every link on the way followed
/// under the owner rule of OsReplacedFilePath, or the path as given at a link
/// not to follow, which OsIsReplaceable refuses.
std::string winReplaced(const std::string& path);

// Whether `sid` is the user this process runs as.
bool winIsProcessUser(PSID sid);
