// Portable part of uOsProcess.h, shared by both sides.
#include "Bibliothek/Plattform/uOsProcess.h"

std::string OsJoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    std::string item = argv[i] ? argv[i] : "";
    // The command-line source reads from the first "/" on: written with
    // backslashes, a program path such as /home/me/input/quillet is skipped
    // as a Windows path would be, instead of feeding items like "input".
    if (i == 0)
      for (char& c : item)
        if (c == '/') c = '\\';
    if (i > 0) line += ' ';
    line += item;
  }
  return line;
}
