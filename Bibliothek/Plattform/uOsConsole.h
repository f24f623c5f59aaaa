#pragma once
// One line on standard output, readable by the user.
#include <string>

/// Writes `text` (system code page) followed by a line end to standard output.
/// Win32: WriteConsoleW when stdout is a console, else the code page bytes as
/// they are; CR LF. POSIX: the text as UTF-8 (bytes that do not form UTF-8 are
/// read as Windows-1252), then LF.
void OsWriteConsoleLine(const std::string& text);
