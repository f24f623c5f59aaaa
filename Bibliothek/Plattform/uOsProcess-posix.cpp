// POSIX side of uOsProcess.h.
#include "Bibliothek/Plattform/uOsProcess.h"

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>
#include <string>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

void OsStartupProcess(int, char**) { std::setlocale(LC_ALL, ""); }

std::string OsCommandLine() {
  // The kernel keeps the arguments as they were passed, each ended by a zero.
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  for (std::size_t start = 0; start < all.size();) {
    const std::size_t end = all.find('\0', start);
    args.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::vector<const char*> pointers;
  for (const auto& a : args) pointers.push_back(a.c_str());
  return OsJoinCommandLine(static_cast<int>(pointers.size()), pointers.data());
}

std::string OsExecutablePath() {
  std::string buffer(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (n <= 0) return std::string();
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

void OsSetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
}

unsigned OsProcessorCount() {
#if defined(__linux__)
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0)
    return static_cast<unsigned>(CPU_COUNT(&allowed));
#endif
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

namespace {
// Removes the registered paths, then ends the process as the signal would have.
void posixOnInterrupt(int signal) {
  const int saved = errno;
  for (std::size_t slot = 0; slot < OsInterruptSlots; ++slot)
    if (const char* path = OsInterruptPath(slot)) unlink(path);
  errno = saved;
  std::signal(signal, SIG_DFL);
  raise(signal);
}
}  // namespace

void OsInstallInterruptHandlers() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {}, old {};
    // A signal ignored when the process started (nohup, a background job) stays ignored.
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    action.sa_handler = posixOnInterrupt;
    sigfillset(&action.sa_mask);  // one handler at a time
    sigaction(signal, &action, nullptr);
  }
}
