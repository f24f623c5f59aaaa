#pragma once
// The log filter engine. Given a date condition, an author, the person who
// runs it and two paths, Run reads the text that `cvs log` printed, picks the
// archive files with a revision by that author on a date that meets the
// condition, and puts a report in front of what the output file held: a
// header, each picked file as a line of an indented folder tree, and under it
// the log lines that follow the picked revision's date line.
//
// The log is read as cvs writes it: a file's section starts at a line that
// begins with "RCS file:" while no section is open, a revision's date line is
// the line after "revision ..." after the row of 28 "-", and the section ends
// at the row of 77 "=". Only such a date line can pick its file; every other
// line is message text.
//
// The input is streamed: it is read in large chunks; besides the chunk only
// the current section's first line is kept, and 1 KiB above the current line
// (or the two lines above it whole, where they may be a revision's header
// rows). The report goes straight into a temporary file beside the output,
// followed by the previous output; the temporary file then replaces the
// output in one step. Memory therefore does not grow with the input or the
// report; a single line is held whole, however long it is.
//
// A large log is cut into parts, each scanned on a thread of its own: a part
// starts behind an end row, where the scan is in the same state whatever came
// before. A later part's report waits in a temporary file of its own and is
// joined to the report of the parts before it, so the report is the same for
// every cut.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Bibliothek/uFileRoutines.h"
#include "filter/uCvsLogText.h"
#include "filter/uEngineEnvironment.h"
#include "filter/uDateOperator.h"

class TByteSink;
class TByteSource;
class TFileSource;
class TLogParts;

class TQuillet {
public:
  /// Folder levels beyond this many stand together on the last folder line,
  /// so that the tree's indent, and with it the report, stays linear in the log.
  static constexpr std::size_t MaxFolderDepth = ::MaxFolderDepth;

  /// Operator Equal, all settings empty. Run reaches the files through `files`.
  explicit TQuillet(TQuilletEnvironment environment, TFileSystem& files = RealFileSystem());
  ~TQuillet();
  TQuillet(const TQuillet&) = delete;
  TQuillet& operator=(const TQuillet&) = delete;

  void SetDateOperator(TDateOperator value);
  /// The reference date as yyyy/mm/dd; not checked.
  void SetDate(const std::string& value);
  void SetPerson(const std::string& value);
  /// The author login, or several separated by ","; blanks around a name
  /// and empty names do not count. None picks every author.
  void SetAuthor(const std::string& value);
  /// A second condition that a revision's date must meet too, the date as
  /// yyyy/mm/dd like SetDate; an empty date: none.
  void SetSecondDateCondition(TDateOperator op, const std::string& date);
  /// The repository root to leave out of the tree; enclosing double quotes
  /// go. Empty: the tree starts behind "/cvsroot/". A root that does not
  /// prefix an archive path leaves that path to the empty root's rule.
  void SetRoot(const std::string& value);
  /// The paths lose one enclosing double quote at each end.
  void SetInputFile(const std::string& value);
  void SetOutputFile(const std::string& value);

  /// Checks the settings, filters the input file and replaces the output file
  /// with the report followed by one empty line and the output's old lines.
  /// The input "-" is standard input; the output "-" is standard output,
  /// which gets the report alone. An input in which no section starts (no
  /// cvs log at all) fails with NoCvsLog, one whose last section has no end
  /// row (a log cut short) with LogCutShort.
  /// Two runs on the same output file wait for each other. On any failure the
  /// output file stays as it was.
  void Run();

  /// Cuts the log into about `count` parts (0, the default: by the log's size
  /// and the processors). Every count gives the same report.
  void SetParts(std::size_t count);

  /// How long Run waits for another run's lock on the output before it
  /// fails, naming the lock file and its holder: `seconds` (0: no limit).
  static constexpr unsigned DefaultLockWait = 600;
  void SetLockWait(unsigned seconds);

  /// What Run would write into the output file, for `input` as the input
  /// file's bytes and `previousOutput` as the old output (nullopt: none),
  /// each read in pieces of at most `pieceSize` bytes (0: as much as asked).
  /// Used by tests.
  std::string RunOnText(const std::string& input,
                        const std::optional<std::string>& previousOutput = std::nullopt,
                        std::size_t pieceSize = 0);

private:
  void CheckSettings() const;
  /// The report of `log` in about `parts` parts into `sink`, then the old
  /// one. With `mustHoldLog`, a log without any section start fails
  /// (NoCvsLog) before anything is written, and one cut short (LogCutShort)
  /// before the old report is.
  void ProcessLog(TLogParts& log, TByteSink& sink, TByteSource* previousOutput, std::size_t parts,
                  bool mustHoldLog);
  /// Run for the output "-".
  void ReportToStandardOutput(TFileSource& input);

  const TQuilletEnvironment FEnvironment;
  TFileSystem& FFiles;
  TDateOperator FDateOperator = TDateOperator::Equal;
  std::string FDate;
  std::string FPerson;
  std::string FAuthor;                // the one author
  std::vector<std::string> FAuthors;  // two or more, in upper case
  TDateOperator FSecondOperator = TDateOperator::Equal;
  std::string FSecondDate;
  std::string FRoot;
  bool FRootSet = false;
  std::string FInputFile;
  std::string FOutputFile;
  std::size_t FParts = 0;
  unsigned FLockWait = DefaultLockWait;
  // The labels in upper case, each with its ":".
  std::string FDateLabel, FAuthorLabel, FSectionLabel;
};
