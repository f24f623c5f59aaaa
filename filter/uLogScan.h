#pragma once
// The scan of one range of a log: section by section through the rules into
// a report writer, skipping ahead to the lines that may change anything.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filter/uByteSearch.h"
#include "filter/uByteStreams.h"
#include "filter/uCvsLogText.h"
#include "filter/uLineReader.h"
#include "filter/uReportWriter.h"

/// What the scan of every part of a log looks for.
struct TScanRules {
  const TUpperCaseTable& Upper;
  TDateOperator Operator;
  // Author: the one author looked for; empty with Authors: any of those
  // (upper case); both empty: every author.
  std::string Date, Author;
  std::vector<std::string> Authors;
  // A second date condition that must hold too; none when SecondDate is empty.
  TDateOperator SecondOperator = TDateOperator::Equal;
  std::string SecondDate;
  std::string DateLabel, AuthorLabel, SectionLabel;  // in upper case, each with its ":"
  TRepositoryRoot Root;
  // What the skip scan looks for outside and inside a section; none when the
  // upper-case table leaves it unusable.
  std::optional<TSkipTargets> ClosedTargets, OpenTargets;
};

/// What the scan of a log found besides the report.
struct TScanOutcome {
  bool SawSection = false;     // a section started: else the text is no cvs log
  bool EndsInSection = false;  // the last section has no end row: the log is cut short
};

// Targets for the skip scan that find every occurrence of `text` in any case
// (and maybe more); nullopt when OR 0x20 does not join every spelling that the
// upper-case table joins for its first and last byte.
// `middleAt` names a third byte to compare, best a rare one.
std::optional<TSkipTargets> TargetsFor(const TUpperCaseTable& upper, std::string_view text, std::size_t middleAt,
                                       bool endRows);

// Targets inside a section for several authors: each of `upperNames` behind
// `upperLabel` (the author's, with its ":") and one character; nullopt as for
// TargetsFor. More names than the search takes at once: the label alone.
std::optional<TSkipTargets> TargetsForAuthors(const TUpperCaseTable& upper, const std::string& upperLabel,
                                              const std::vector<std::string>& upperNames);

/// Whether the scan skips ahead to the lines that may change anything (by
/// default) or reads every line; every way gives the same report. Used by tests.
void SetSkipScan(bool allowed);
bool SkipScanAllowed();

/// Reads a log, or a part of one that starts behind an end row, and writes
/// the lines of the files it picks into a report.
class TLogScan {
public:
  TLogScan(const TScanRules& rules, TByteSource& input, TReportWriter& report)
      : FRules(rules), FLines(input), FReport(report) {}

  /// True when the text held a section start at all: else it is no cvs log.
  bool Run() {
    std::string_view line;
    for (;;) {
      if (FSection != TSection::Copying && FRules.ClosedTargets && FRules.OpenTargets && SkipScanAllowed())
        SkipToCandidate();
      if (!FLines.Next(line)) break;
      if (FLines.Part() == TLinePart::Whole)
        ScanLine(line);
      else
        ScanPiece(line);
    }
    return FSawSection;
  }

  /// After Run: the text ended inside a section, before its end row.
  bool EndsInSection() const { return FSection != TSection::Closed; }

private:
  enum class TSection { Closed, Open, Copying, Passing };

  void SkipToCandidate();
  /// The one rule that picks a file: `line` is a revision's own date line
  /// (`belowRevisionHeader`: a row of dashes and the revision number stand
  /// right above it), by an author looked for, on a date that meets the
  /// conditions. `firstColon`: the position of its first ":" (npos: none).
  bool PicksFile(std::string_view line, std::size_t firstColon, bool belowRevisionHeader) const;
  void ScanLine(std::string_view line);
  void ScanPiece(std::string_view piece);
  /// The tests of a revision's date line; `firstColon` (the position of its
  /// first ":", if known) lets them skip the front of the line.
  bool DateMatches(std::string_view line, std::size_t firstColon) const;
  bool AuthorMatches(std::string_view line, std::size_t firstColon) const;

  const TScanRules& FRules;
  TLineReader FLines;
  TReportWriter& FReport;
  // Where the reader stands in the log, the open section's first line, and
  // how many lines of a revision's header (the row of "-", the revision
  // number line) lie right behind.
  TSection FSection = TSection::Closed;
  std::string FSectionLine;
  int FRevisionStep = 0;
  bool FSawSection = false;
};
