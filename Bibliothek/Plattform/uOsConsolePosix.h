#pragma once
// POSIX only: how the console writes system code page text to a terminal or pipe.
#include <string>

/// The text as UTF-8: what is UTF-8 already stays, every other byte is read as Windows-1252.
std::string OsTerminalText(const std::string& text);
