// Win32 side of uOsConsole.h.
#include "Bibliothek/Plattform/uOsConsole.h"

#include <windows.h>

#include <string>

namespace {
void winWriteLine(DWORD stream, const std::string& text) {
  const HANDLE out = GetStdHandle(stream);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    // A real console shows its own code page: hand it the characters instead
    // of the bytes, so that umlauts of the ANSI code page arrive readable.
    const std::string line = text + "\r\n";
    const int n = MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), wide.data(), n);
    DWORD written = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  // Redirected to a file or pipe: the code page bytes as they are, CR LF by hand.
  const std::string line = text + "\r\n";
  DWORD written = 0;
  WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
}  // namespace

void OsWriteConsoleLine(const std::string& text) { winWriteLine(STD_OUTPUT_HANDLE, text); }
void OsWriteErrorLine(const std::string& text) { winWriteLine(STD_ERROR_HANDLE, text); }

// ReadFile and WriteFile on the handles themselves: no C runtime text mode
// stands between them and the bytes.
TOsFile OsStandardInput() { return reinterpret_cast<TOsFile>(GetStdHandle(STD_INPUT_HANDLE)); }
TOsFile OsStandardOutput() { return reinterpret_cast<TOsFile>(GetStdHandle(STD_OUTPUT_HANDLE)); }
