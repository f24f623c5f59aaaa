// POSIX side of uOsWindow.h. Without a window toolkit the error box is a line
// on standard error, which needs no acknowledgement.
#include "Bibliothek/Plattform/uOsWindow.h"

#include <cstdio>
#include <string>

void OsShowErrorBox(const std::string& title, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", title.c_str(), message.c_str());
  std::fflush(stderr);
}
