#pragma once
// What the engine's tests share: logs and reports written as lines, the rows
// cvs writes, the worked example, and the fixture whose Filter runs a log
// through the engine on every path (whole, in parts, on each search width,
// without threads) and checks that all agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

#include "Bibliothek/uFailure.h"
#include "filter/uByteSearch.h"
#include "filter/uLogParts.h"
#include "filter/uLogScan.h"
#include "test/uWorkedExample.h"
#include "filter/uQuillet.h"
#include "filter/uQuilletTestEnvironment.h"
#include "filter/uReportWriter.h"
// Lines joined with LF, as a log is written on POSIX.
inline std::string lf(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return text;
}
// Lines joined with CR LF, as every report line ends.
inline std::string crlf(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// What cvs writes between revisions and at the end of a file's section.
inline const std::string Dashes(28, '-');
inline const std::string EndRow(77, '=');
// A revision's header: the row of dashes and the number line.
inline const std::string Revision = Dashes + "\nrevision 1.1\n";

inline TDateOperator Op(const std::string& text) { return *DateOperatorFromText(text); }

inline std::string failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EFailure& failure) {
    return failure.Message();
  }
  return "(no failure)";
}

class Quillet : public ::testing::Test {
protected:
  // The report for `input` under one condition, without an old output;
  // `more` gives further settings.
  static std::string Filter(const std::string& input, const std::string& op, const std::string& date,
                            const std::string& author, std::size_t pieceSize = 0,
                            const std::function<void(TQuillet&)>& more = {},
                            const TQuilletEnvironment& environment = TestEnvironment()) {
    TQuillet engine(environment);
    engine.SetDateOperator(Op(op));
    engine.SetDate(date);
    engine.SetPerson("tester");
    engine.SetAuthor(author);
    if (more) more(engine);
    const std::string report = engine.RunOnText(input, std::nullopt, pieceSize);
    // Cut into parts, at a few end rows or at every one, the log gives the same report.
    for (const std::size_t parts : {std::size_t{2}, std::min<std::size_t>(input.size(), 40)}) {
      engine.SetParts(parts);
      EXPECT_EQ(report, engine.RunOnText(input, std::nullopt, pieceSize)) << "in " << parts << " parts";
    }
    // So do the searches on every path, and the parts scanned without threads.
    engine.SetParts(1);
    for (const TSearchWidth width : {TSearchWidth::Scalar, TSearchWidth::Bytes16, TSearchWidth::Bytes32}) {
      SetSearchWidth(width);
      EXPECT_EQ(report, engine.RunOnText(input, std::nullopt, pieceSize)) << "search width " << static_cast<int>(width);
    }
    SetSearchWidth(TSearchWidth::Best);
    SetEngineThreads(false);
    engine.SetParts(2);
    EXPECT_EQ(report, engine.RunOnText(input, std::nullopt, pieceSize)) << "without threads";
    SetEngineThreads(true);
    // And the scan that reads every line, where the skip scan cannot be used.
    SetSkipScan(false);
    EXPECT_EQ(report, engine.RunOnText(input, std::nullopt, pieceSize)) << "without the skip scan";
    SetSkipScan(true);
    return report;
  }

  static std::string Block(const std::string& path, const std::string& date, const std::string& author) {
    return lf({("RCS file: " + path + ",v").c_str(), "description:", "----------------------------",
               "revision 1.1", ("date: " + date + " 10:00:00;  author: " + author + ";  state: Exp;").c_str(),
               "Message.", EndRow.c_str()});
  }

  static inline const std::string Header = crlf({"User: tester", "Datum: 14.05.2003", ""});
  /// The whole output for report `lines` (separated by "|"; "" when nothing is picked).
  static std::string Report(const std::string& lines) {
    std::string text = lines.empty() ? "" : Header;
    for (std::size_t from = 0, bar; !lines.empty() && from <= lines.size(); from = bar + 1) {
      bar = std::min(lines.find('|', from), lines.size());
      text += lines.substr(from, bar - from) + "\r\n";
    }
    return text + "\r\n";
  }
};

inline const std::string WorkedExampleInput = WorkedExampleLog;
