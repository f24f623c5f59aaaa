#pragma once
// What the process knows about itself: its command line and its executable.
// This folder is the only code that includes <windows.h> or POSIX headers.
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
