#pragma once
// Warnings about a user's slip in the settings: one line each on standard
// error, behind the program's name. They change neither the run nor its exit
// code; they name the problem and the way out where the run alone would go on
// silently with something the user did not mean.
#include <string>
#include <vector>

/// The name the warnings begin with ("quillet", "Quillet"); set once by main.
void SetWarningProgramName(const std::string& name);

/// Writes "<program>: <text>" to standard error.
void WriteWarning(const std::string& text);

/// Arguments that no switch takes: every one before the first switch (other
/// than --help, -h, --version), and every command-line item that no look-up
/// took and that names no registered switch. Call after the switches are read.
void WarnAboutArguments(const std::vector<std::string>& arguments);

/// A value that holds " /NAME=" or " \NAME=" of a registered switch: two
/// switches given in one argument. True when it warned.
bool WarnAboutSwitchInValue(const std::string& name, const std::string& value);

/// The placeholder that an export writes ("no default value") taken as a
/// value, naming where it came from.
void WarnAboutPlaceholder(const std::string& name, const std::string& value);

/// A DATE text whose letters are not exactly one operator.
void WarnAboutDateOperator(const std::string& text);

/// The second line of a failure that a first run meets: where the switches are listed.
void WriteTryHelp();
