#pragma once
// A user's slips in the settings. The output file keeps every report it is
// given, so a slip that would change which report is written ends the run
// before anything on disk changes: a failure line on standard output, one
// line on standard error that names the value read and the form that works,
// and exit code 2. What cannot change the report stays a warning.
#include <optional>
#include <string>
#include <vector>

/// The two lines of a refused run.
struct TSlip {
  std::string Failure;  // standard output, as every failure line
  std::string Hint;     // standard error, behind the program's name
};

/// The name the standard error lines begin with ("quillet", "Quillet"); set once by main.
void SetWarningProgramName(const std::string& name);

/// Writes "<program>: <text>" to standard error.
void WriteWarning(const std::string& text);

/// Writes a slip's two lines.
void WriteSlip(const TSlip& slip);

/// Arguments that no switch takes: every one before the first switch and
/// every one that begins with "-" (other than --help, -h, --version), and every
/// command-line item that no look-up took and that names no registered switch.
/// Call after the switches are read.
std::optional<TSlip> SlipInArguments(const std::vector<std::string>& arguments);

/// A switch given twice on the command line with two different values.
std::optional<TSlip> SlipOfRepeatedSwitch();

/// A value of the filter's switch `name` that cannot be what was meant: one
/// that holds " /NAME=" of a registered switch, an unbalanced double quote,
/// the placeholder an export writes, or an INI value cut at a "/".
std::optional<TSlip> SlipInValue(const std::string& name, const std::string& value);

/// A DATE text that the reading refused with `failure`: the text, the short
/// date picture in force and two forms that work.
TSlip DateSlip(const std::string& failure, const std::string& text);

/// The line of a failure that a first run meets: where the switches are listed.
void WriteTryHelp();
