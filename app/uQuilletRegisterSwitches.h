#pragma once
#include <string>

// The filter's switches DATE, PERSON, AUTHOR, INPUT, OUTPUT and ROOT, registered
// at start-up after the switch library's own. A registration failure is written
// to standard output and start-up goes on; the result is then false, so that
// the program can end with exit code 1.
bool StartupQuilletRegisterSwitches();
void ShutdownQuilletRegisterSwitches();

/// The DATE switch's default: ".eq" and today's date in the short date
/// format, with "-" for a "/" separator. Also what the run takes when no
/// source sets DATE.
std::string DateSwitchDefault();
