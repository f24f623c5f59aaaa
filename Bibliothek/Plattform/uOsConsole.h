#pragma once
// One line on standard output or standard error, readable by the user; and
// the standard streams as files, for data that runs through a pipe.
#include <string>

#include "Bibliothek/Plattform/uOsFiles.h"

/// Writes `text` (system code page) followed by a line end to standard output.
/// Win32: WriteConsoleW when stdout is a console, else the code page bytes as
/// they are; CR LF. POSIX: the text as UTF-8 (bytes that do not form UTF-8 are
/// read as Windows-1252), then LF.
void OsWriteConsoleLine(const std::string& text);
/// The same on standard error: for warnings, which never mix with the output.
void OsWriteErrorLine(const std::string& text);

/// Standard input and output as files for OsReadFile and OsWriteFile (uOsFiles.h):
/// bytes as they are in both builds, no line ends translated. Not to be closed.
TOsFile OsStandardInput();
TOsFile OsStandardOutput();
