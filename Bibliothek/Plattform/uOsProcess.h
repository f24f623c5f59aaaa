#pragma once
// What the process knows about itself: its command line and its executable.
// This folder is the only code that includes <windows.h> or POSIX headers.
#include <cstddef>
#include <string>

/// Process-wide set-up, first thing in main. POSIX: takes the user's locale
/// (setlocale(LC_ALL, "")) so that upper-casing follows it. Win32: nothing.
void OsStartupProcess(int argc, char** argv);

/// The whole command line, unsplit. Win32: GetCommandLineA. POSIX: main's
/// arguments joined as OsJoinCommandLine does, so that a path like
/// /home/me/input/quillet or /INPUT=/var/log/cvs.log feeds no extra switch items.
std::string OsCommandLine();

/// The executable's full path. Win32: GetModuleFileNameA. POSIX: /proc/self/exe
/// (the path as the file system has it, with "/").
std::string OsExecutablePath();

/// The command line as the POSIX side builds it from main's arguments: the
/// program path with "/" written as "\", then the arguments, joined by blanks;
/// in an argument every "/" after its first "=" is written as "\" too.
std::string OsJoinCommandLine(int argc, const char* const* argv);

/// Sets (or, with an empty value, removes) an environment variable of this process.
void OsSetEnvironment(const std::string& name, const std::string& value);

/// The number of processors this process may run on: its affinity mask
/// (POSIX sched_getaffinity, Win32 GetProcessAffinityMask), so that a run
/// under `taskset -c 0` counts one. At least 1.
unsigned OsProcessorCount();

/// Paths to remove when the process is interrupted: Ctrl-C, SIGTERM or SIGHUP
/// (Win32: Ctrl-C, Ctrl-Break, closing the console) removes them before the
/// process ends as the signal ends it. A process killed
/// outright (SIGKILL) leaves them. A temporary file and a lock file are
/// registered while they exist; at most OsInterruptSlots paths at once (more
/// are left to the next run's clean-up). Callable from any thread; the
/// handler reads the list without locks or memory allocation.
void OsRemoveOnInterrupt(const std::string& path);
/// Takes `path` off that list (before it is renamed away or removed).
void OsKeepOnInterrupt(const std::string& path);
inline constexpr std::size_t OsInterruptSlots = 64;
/// For the platform's interrupt handler: the path of a slot, nullptr when
/// the slot is free. Async-signal-safe.
const char* OsInterruptPath(std::size_t slot);
/// Installs the handler that removes those paths; OsRemoveOnInterrupt calls
/// it once. One implementation per platform.
void OsInstallInterruptHandlers();
