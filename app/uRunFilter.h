#pragma once
// The run driver: hands the switch values to the filter engine and runs it.

/// Runs the filter once. Never lets a failure escape: its message is written
/// as one line to standard output. Returns false when it wrote such a line.
bool RunFilter();
