// Win32 side of uOsProcess.h.
#include "Bibliothek/Plattform/uOsProcess.h"

#include <windows.h>

#include <cstdlib>
#include <string>

void OsStartupProcess(int, char**) {}

std::string OsCommandLine() {
  const char* line = GetCommandLineA();
  return line ? line : "";
}

std::string OsExecutablePath() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    // API oddity: a truncated path returns the buffer size, not an error.
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

void OsSetEnvironment(const std::string& name, const std::string& value) {
  // An empty value removes the variable.
  _putenv_s(name.c_str(), value.c_str());
  SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
}

unsigned OsProcessorCount() {
  DWORD_PTR process = 0, system = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system) || process == 0) return 1;
  unsigned count = 0;
  for (; process != 0; process &= process - 1) ++count;
  return count;
}

namespace {
// Runs on a thread of its own that the system starts for the event. The
// files may still be open: the ones opened for sharing their removal go when
// the process ends, which the default handler after this one does.
BOOL WINAPI winOnInterrupt(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    for (std::size_t slot = 0; slot < OsInterruptSlots; ++slot)
      if (const char* path = OsInterruptPath(slot)) DeleteFileA(path);
  }
  return FALSE;
}
}  // namespace

void OsInstallInterruptHandlers() { SetConsoleCtrlHandler(winOnInterrupt, TRUE); }
