#pragma once
// The run driver: hands the switch values to the filter engine and runs it.
#include <string>
#include <vector>

#include "filter/uQuillet.h"

/// What the engine takes from the program: the texts in force, today's date
/// in the short date format and the user locale's upper-case mapping.
TQuilletEnvironment QuilletEnvironment();

/// Runs the filter once. Never lets a failure escape: its message is written
/// as one line to standard output. Returns the exit code: 0 after a run, 1
/// after a failure, 2 when a slip in the settings was refused before anything
/// changed. `arguments` (the program's, without its name) are only checked
/// for slips: the switches come from the switch library.
int RunFilter(const std::vector<std::string>& arguments);
