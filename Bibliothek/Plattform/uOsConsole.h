#pragma once
// One line on standard output, readable by the user.
#include <string>

/// Writes `text` (system code page) followed by CR LF to standard output.
/// Win32: WriteConsoleW when stdout is a console, else the code page bytes as
/// they are. POSIX: the text as UTF-8 (bytes that do not form UTF-8 are read as
/// Windows-1252), then CR LF.
void OsWriteConsoleLine(const std::string& text);
