#pragma once
// Win32 side, shared by the platform's own files (not a platform header):
// who may own a link or a settings file that the user's run trusts.
#include <windows.h>

#include "Bibliothek/Plattform/uOsFiles.h"

/// Whether the user who runs, SYSTEM or the Administrators own the file that
/// `handle` is open on (defined in uOsFiles-win32.cpp).
bool OsWinOwnedByUserOrAdmin(HANDLE handle);
