#pragma once
// What every room of the engine takes from the program: the texts it looks
// for and writes, the day of the run, the upper-case mapping, and the depth
// of the report's tree. Below the engine, so that its rooms need not know it.
#include <cstddef>
#include <string>

#include "filter/uCvsLogText.h"

/// Folder levels beyond this many stand together on the last folder line,
/// so that the tree's indent, and with it the report, stays linear in the log.
constexpr std::size_t MaxFolderDepth = 32;

/// What the engine takes from its caller besides the settings: the texts it
/// looks for and writes, the day of the run and the upper-case mapping.
struct TQuilletEnvironment {
  std::string DateLabel;    // the date's label on a revision's line, without ":" ("DATE")
  std::string AuthorLabel;  // the author's label, without ":" ("AUTHOR")
  std::string PersonHeader, DateHeader;  // the header's labels ("User: ", "Datum: ")
  std::string Today;                     // the day of the run as the header shows it
  std::string InputMissing, OutputMissing, PersonMissing, DateMissing;  // Run's messages
  std::string NoCvsLog;           // an input with no section start; %s: the input
  std::string LogCutShort;        // an input that ends inside a section; %s: the input
  std::string StandardInputName;  // how NoCvsLog and LogCutShort name the input "-"
  // The wait for the output's lock: %s the lock file, (the holder,) the seconds.
  std::string LockStillHeld, LockStillHeldBy;
  std::string OutputChanged;  // the output given to another file during the wait; %s: the output
  TUpperCaseTable UpperCase{};
  // The repository root (SetRoot) matches archive paths without regard to
  // case, by UpperCase: where the file system does so.
  bool RootIgnoresCase = false;
};

