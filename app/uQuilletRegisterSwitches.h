#pragma once
// The filter's five switches DATE, PERSON, AUTHOR, INPUT and OUTPUT, registered
// at start-up after the switch library's own. A registration failure is written
// to standard output and start-up goes on; the result is then false, so that
// the program can end with exit code 1.
bool StartupQuilletRegisterSwitches();
void ShutdownQuilletRegisterSwitches();
