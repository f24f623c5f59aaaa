// Portable part of uOsProcess.h, shared by both sides.
#include "Bibliothek/Plattform/uOsProcess.h"

std::string OsJoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    std::string item = argv[i] ? argv[i] : "";
    // The command-line source reads from the first "/" on: written with
    // backslashes, a program path such as /home/me/input/quillet is skipped
    // as a Windows path would be, instead of feeding items like "input".
    // An argument's value takes POSIX paths the same way (/INPUT=/var/log/cvs.log),
    // while the switch's own "/" before the "=" and an argument with no "="
    // (/REGOFF+, /?) stay as typed.
    const std::size_t from = i == 0 ? 0 : item.find('=');
    if (from != std::string::npos)
      for (std::size_t k = from; k < item.size(); ++k)
        if (item[k] == '/') item[k] = '\\';
    if (i > 0) line += ' ';
    line += item;
  }
  return line;
}
