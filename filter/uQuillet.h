#pragma once
// The log filter engine. Given a date condition, an author, the person who
// runs it and two paths, Run reads the text that `cvs log` printed, picks the
// archive files with a revision by that author on a date that meets the
// condition, and puts a report in front of what the output file held: a
// header, each picked file as a line of an indented folder tree, and under it
// the log lines that follow the picked revision's date line.
//
// The input is streamed: it is read in large chunks, only the current block's
// first line is kept, and the report goes straight into a temporary file beside
// the output, followed by the previous output; the temporary file then replaces
// the output in one step. Memory therefore does not grow with the input or the
// report; a single line is held whole, however long it is.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TLineReader;
class TLineWriter;
class TByteSource;

class TQuillet {
public:
  /// Operator ".EQ", all other settings empty.
  TQuillet();
  ~TQuillet();
  TQuillet(const TQuillet&) = delete;
  TQuillet& operator=(const TQuillet&) = delete;

  /// One of ".EQ", ".GT", ".GE", ".LT", ".LE" (any case); anything else fails
  /// with SDateOperatorNotValid and keeps the operator.
  void SetDateOperator(const std::string& value);
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
  /// file's bytes and `previousOutput` as the old output (nullopt: none).
  /// Used by tests.
  std::string RunOnText(const std::string& input,
                        const std::optional<std::string>& previousOutput = std::nullopt);

private:
  struct TPendingPick {
    std::string BlockLine;
    std::uint64_t CopyOffset;
  };

  void CheckSettings() const;
  void ProcessLog(TByteSource& input, TByteSource* previousOutput);
  void ScanInput(TByteSource& input);
  /// Writes the header if the report is still empty, then the folder and file
  /// lines of the block that starts with `blockLine`. Returns the indent of the
  /// block's copied lines, or nullopt when the block writes nothing (Attic).
  std::optional<std::size_t> WriteFileBlock(std::string_view blockLine);
  void CopyPendingPicks(TByteSource& input);
  /// The tests of one line; `firstColon` (the position of its first ":", if
  /// known) lets them skip the front of the line.
  bool DateMatches(std::string_view line, std::size_t firstColon = 0) const;
  bool AuthorMatches(std::string_view line, std::size_t firstColon = 0) const;
  bool DateGreaterThan(std::string_view entryDate) const;
  bool DateGreaterEqual(std::string_view entryDate) const;
  bool DateLessThan(std::string_view entryDate) const;
  bool DateLessEqual(std::string_view entryDate) const;

  std::unique_ptr<TLineReader> FInputLines;
  std::unique_ptr<TLineWriter> FOutputLines;
  std::string FDateOperator;
  std::string FDate;
  std::string FPerson;
  std::string FAuthor;
  std::string FInputFile;
  std::string FOutputFile;

  // Scan state: the folder parts of the last written file, and the picks made
  // while an earlier pick's copy was still running (only in logs whose
  // sections lack their closing row of equals signs).
  std::vector<std::string> FWrittenFolders;
  std::vector<TPendingPick> FPendingPicks;
  // The user locale's upper-case mapping of every byte, and the three labels in upper case.
  std::array<unsigned char, 256> FUpper;
  std::string FDateLabel, FAuthorLabel, FBlockStartLabel;
};
