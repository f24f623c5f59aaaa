// POSIX side of uOsConsole.h.
#include "Bibliothek/Plattform/uOsConsole.h"
#include "Bibliothek/Plattform/uOsConsolePosix.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {
// Length of the valid UTF-8 sequence at `i`, or 0 when the bytes there are none.
std::size_t posixUtf8Length(const std::string& s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
  if (n == 0 || (n == 2 && c < 0xC2) || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  return n;
}

// Windows-1252 code points of the bytes 0x80..0x9F; the rest equals Latin-1.
const char16_t posixCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void posixAppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}
}  // namespace

std::string OsTerminalText(const std::string& text) {
  // The messages are code page bytes; file names that they quote are usually
  // UTF-8 already. Keep what is UTF-8, read every other byte as Windows-1252.
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t n = posixUtf8Length(text, i)) {
      out.append(text, i, n);
      i += n;
      continue;
    }
    const auto c = static_cast<unsigned char>(text[i++]);
    posixAppendUtf8(out, c >= 0x80 && c < 0xA0 ? posixCp1252High[c - 0x80] : c);
  }
  return out;
}

namespace {
void posixWriteLine(std::FILE* stream, const std::string& text) {
  // A POSIX terminal or pipe expects LF alone; a CR would show up in scripts
  // that read the line (as "message\r").
  const std::string out = OsTerminalText(text) + "\n";
  std::fwrite(out.data(), 1, out.size(), stream);
  std::fflush(stream);
}
}  // namespace

void OsWriteConsoleLine(const std::string& text) { posixWriteLine(stdout, text); }
void OsWriteErrorLine(const std::string& text) { posixWriteLine(stderr, text); }

TOsFile OsStandardInput() { return STDIN_FILENO; }
TOsFile OsStandardOutput() { return STDOUT_FILENO; }
