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
// The input is streamed: it is read in large chunks, only the current
// section's first line is kept, and the report goes straight into a temporary
// file beside the output, followed by the previous output; the temporary file
// then replaces the output in one step. Memory therefore does not grow with
// the input or the report; a single line is held whole, however long it is.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Bibliothek/uFileRoutines.h"
#include "filter/uDateOperator.h"

class TLineReader;
class TReportWriter;
class TByteSource;

/// The user locale's upper-case mapping of every byte.
using TUpperCaseTable = std::array<unsigned char, 256>;

/// What the engine takes from its caller besides the settings: the texts it
/// looks for and writes, the day of the run and the upper-case mapping.
struct TQuilletEnvironment {
  std::string DateLabel;    // the date's label on a revision's line, without ":" ("DATE")
  std::string AuthorLabel;  // the author's label, without ":" ("AUTHOR")
  std::string PersonHeader, DateHeader;  // the header's labels ("User: ", "Datum: ")
  std::string Today;                     // the day of the run as the header shows it
  std::string InputMissing, OutputMissing, PersonMissing, DateMissing;  // Run's messages
  TUpperCaseTable UpperCase{};
};

/// What the engine's skip scan stops at: a text whose first byte is `First`,
/// whose byte `MiddleAt` further on is `Middle` and whose byte `Span` further
/// on is `Last` (all compared after OR 0x20), and, with `EndRows`, an "=" at
/// a line's start.
struct TSkipTargets {
  unsigned char First = 0, Middle = 0, Last = 0;
  std::size_t MiddleAt = 0, Span = 0;
  bool EndRows = false;
};

class TQuillet {
public:
  /// Folder levels beyond this many stand together on the last folder line,
  /// so that the tree's indent, and with it the report, stays linear in the log.
  static constexpr std::size_t MaxFolderDepth = 32;

  /// Operator Equal, all settings empty. Run reaches the files through `files`.
  explicit TQuillet(TQuilletEnvironment environment, TFileSystem& files = RealFileSystem());
  ~TQuillet();
  TQuillet(const TQuillet&) = delete;
  TQuillet& operator=(const TQuillet&) = delete;

  void SetDateOperator(TDateOperator value);
  /// The reference date as yyyy/mm/dd; not checked.
  void SetDate(const std::string& value);
  void SetPerson(const std::string& value);
  /// The author login; empty picks every author.
  void SetAuthor(const std::string& value);
  /// The paths lose one enclosing double quote at each end.
  void SetInputFile(const std::string& value);
  void SetOutputFile(const std::string& value);

  /// Checks the settings, filters the input file and replaces the output file
  /// with the report followed by one empty line and the output's old lines.
  /// Two runs on the same output file wait for each other. On any failure the
  /// output file stays as it was.
  void Run();

  /// What Run would write into the output file, for `input` as the input
  /// file's bytes and `previousOutput` as the old output (nullopt: none),
  /// each read in pieces of at most `pieceSize` bytes (0: as much as asked).
  /// Used by tests.
  std::string RunOnText(const std::string& input,
                        const std::optional<std::string>& previousOutput = std::nullopt,
                        std::size_t pieceSize = 0);

private:
  enum class TSection { Closed, Open, Copying, Passing };

  void CheckSettings() const;
  void ProcessLog(TByteSource& input, TByteSource* previousOutput);
  void ScanInput(TByteSource& input);
  void SkipToCandidate();
  void ScanLine(std::string_view line);
  void Pick();
  void CopyPreviousReport(TByteSource& previous);
  /// The tests of a revision's date line; `firstColon` (the position of its
  /// first ":", if known) lets them skip the front of the line.
  bool DateMatches(std::string_view line, std::size_t firstColon = 0) const;
  bool AuthorMatches(std::string_view line, std::size_t firstColon = 0) const;

  const TQuilletEnvironment FEnvironment;
  TFileSystem& FFiles;
  std::unique_ptr<TLineReader> FInputLines;
  std::unique_ptr<TReportWriter> FOutputLines;
  TDateOperator FDateOperator = TDateOperator::Equal;
  std::string FDate;
  std::string FPerson;
  std::string FAuthor;
  std::string FInputFile;
  std::string FOutputFile;

  // Scan state: where the reader stands in the log, the open section's first
  // line, and how many lines of a revision's header (the row of "-", the
  // revision number line) lie right behind.
  TSection FSection = TSection::Closed;
  std::string FSectionLine;
  int FRevisionStep = 0;
  // The labels in upper case, each with its ":".
  std::string FDateLabel, FAuthorLabel, FSectionLabel;
  // What the skip scan looks for outside and inside a section; none when the
  // upper-case table leaves it unusable.
  std::optional<TSkipTargets> FClosedTargets, FOpenTargets;
};
