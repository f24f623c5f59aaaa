// POSIX side of uOsProcess.h.
#include "Bibliothek/Plattform/uOsProcess.h"

#include <clocale>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {
std::string posixCommandLine;
}

void OsStartupProcess(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  posixCommandLine = OsJoinCommandLine(argc, argv);
}

std::string OsCommandLine() { return posixCommandLine; }

std::string OsExecutablePath() {
  std::string buffer(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0) return std::string();
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::string OsEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  return value ? value : "";
}

void OsSetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
}
