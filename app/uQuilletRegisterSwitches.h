#pragma once
// The filter's five switches DATE, PERSON, AUTHOR, INPUT and OUTPUT, registered
// at start-up after the switch library's own. A registration failure is written
// to standard output and start-up goes on.
void StartupQuilletRegisterSwitches();
void ShutdownQuilletRegisterSwitches();
