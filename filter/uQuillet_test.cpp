#include "filter/uQuillet.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "app/uQuilletConstants.h"
#include "app/uQuilletEnglishConstants.h"
#include "test/uTestSupport.h"

namespace {
// Lines joined with LF, as a log is written on POSIX.
std::string lf(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return text;
}
// Lines joined with CR LF, as every report line ends.
std::string crlf(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EFailure& failure) {
    return failure.Message();
  }
  return "(no failure)";
}

class Quillet : public ::testing::Test {
protected:
  void SetUp() override {
    uQuilletConstants::StartupQuilletConstants();
    StartupQuilletEnglishConstants();
    SetTodayForTests(TDate{2003, 5, 14});
    SetShortDatePictureForTests(std::string("dd.MM.yyyy"));
  }
  void TearDown() override {
    SetTodayForTests(std::nullopt);
    SetShortDatePictureForTests(std::nullopt);
  }

  // The report for `input` under one condition, without an old output.
  static std::string Filter(const std::string& input, const std::string& op, const std::string& date,
                            const std::string& author) {
    TQuillet engine;
    engine.SetDateOperator(op);
    engine.SetDate(date);
    engine.SetPerson("tester");
    engine.SetAuthor(author);
    return engine.RunOnText(input);
  }

  static std::string Block(const std::string& path, const std::string& date, const std::string& author) {
    return lf({("RCS file: " + path + ",v").c_str(), "description:", "----------------------------",
               "revision 1.1", ("date: " + date + " 10:00:00;  author: " + author + ";  state: Exp;").c_str(),
               "Message.", "============================================================================="});
  }

  static const std::string Header;
};
const std::string Quillet::Header = crlf({"User: tester", "Datum: 14.05.2003", ""});

const std::string WorkedExampleInput = lf({
    "RCS file: /cvsroot/proj/src/main.c,v",
    "Working file: src/main.c",
    "head: 1.3",
    "description:",
    "----------------------------",
    "revision 1.3",
    "date: 2003/05/12 10:11:12;  author: dev1;  state: Exp;  lines: +2 -1",
    "Fixed the parser.",
    "----------------------------",
    "revision 1.2",
    "date: 2003/05/02 09:00:00;  author: dev2;  state: Exp;  lines: +5 -0",
    "Added options.",
    "=============================================================================",
    "",
    "RCS file: /cvsroot/proj/src/Attic/old.c,v",
    "description:",
    "----------------------------",
    "revision 1.4",
    "date: 2003/05/11 08:00:00;  author: dev1;  state: dead;  lines: +0 -0",
    "Removed.",
    "=============================================================================",
    "",
    "RCS file: /cvsroot/proj/src/util.c,v",
    "description:",
    "----------------------------",
    "revision 1.1",
    "date: 2003/05/11 08:00:00;  author: dev1;  state: Exp;",
    "Initial revision",
    "=============================================================================",
});

TEST_F(Quillet, WorkedExampleByteForByte) {
  const std::string expected = crlf({
      "User: tester",
      "Datum: 14.05.2003",
      "",
      "proj/",
      "    src/",
      "        main.c",
      "            Fixed the parser.",
      "            ----------------------------",
      "            revision 1.2",
      "            date: 2003/05/02 09:00:00;  author: dev2;  state: Exp;  lines: +5 -0",
      "            Added options.",
      "        util.c",
      "            Initial revision",
      "",
  });
  EXPECT_EQ(expected, Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1"));
}

TEST_F(Quillet, NothingPickedGivesOnlyTheEmptyLineBeforeTheOldReport) {
  EXPECT_EQ("\r\n", Filter(WorkedExampleInput, ".GT", "2004/01/01", "dev1"));
  TQuillet engine;
  engine.SetDate("2004/01/01");
  EXPECT_EQ("\r\nold 1\r\nold 2\r\n", engine.RunOnText(WorkedExampleInput, std::string("old 1\nold 2")));
}

TEST_F(Quillet, OperatorsOrderByYearMonthDay) {
  const char* dates[] = {"2003/05/11", "2003/06/01", "2004/01/01", "2003/05/10", "2003/04/30", "2002/12/31"};
  const struct {
    const char* Operator;
    bool Picked[6];
  } cases[] = {
      {".GT", {true, true, true, false, false, false}},
      {".GE", {true, true, true, true, false, false}},
      {".EQ", {false, false, false, true, false, false}},
      {".LE", {false, false, false, true, true, true}},
      {".LT", {false, false, false, false, true, true}},
  };
  for (const auto& c : cases)
    for (int i = 0; i < 6; ++i) {
      const std::string report = Filter(Block("/cvsroot/m/x.c", dates[i], "dev1"), c.Operator, "2003/05/10", "dev1");
      EXPECT_EQ(c.Picked[i], report != "\r\n") << c.Operator << " " << dates[i];
    }
}

TEST_F(Quillet, DashedDatesWithZonesCompareLikeSlashedOnes) {
  const std::string input = Block("/cvsroot/m/x.c", "2005-03-12", "dev1");
  EXPECT_NE("\r\n", Filter(input, ".EQ", "2005/03/12", "dev1"));
  EXPECT_NE("\r\n", Filter(input, ".GT", "2005/03/11", "dev1"));
  EXPECT_EQ("\r\n", Filter(input, ".LT", "2005/03/12", "dev1"));
}

TEST_F(Quillet, AuthorIsOneLoginComparedWithoutCase) {
  const std::string input = Block("/cvsroot/m/x.c", "2003/05/10", "dev1");
  EXPECT_NE("\r\n", Filter(input, ".EQ", "2003/05/10", "DEV1"));
  EXPECT_EQ("\r\n", Filter(input, ".EQ", "2003/05/10", "dev"));
  EXPECT_EQ("\r\n", Filter(input, ".EQ", "2003/05/10", "dev11"));
  EXPECT_NE("\r\n", Filter(input, ".EQ", "2003/05/10", ""));
  // An empty author still needs the label on the date's line.
  EXPECT_EQ("\r\n", Filter(lf({"RCS file: /cvsroot/m/x.c,v", "date: 2003/05/10 10:00:00; state: Exp;"}), ".EQ",
                           "2003/05/10", ""));
}

TEST_F(Quillet, DateAndAuthorMustHoldOnTheSameLine) {
  // dev2 changed the file this week, dev1 years ago: not dev1's change.
  const std::string input = lf({
      "RCS file: /cvsroot/m/x.c,v",
      "revision 1.2",
      "date: 2003/05/12 10:00:00;  author: dev2;  state: Exp;",
      "New.",
      "----------------------------",
      "revision 1.1",
      "date: 2001/01/01 10:00:00;  author: dev1;  state: Exp;",
      "Old.",
      "=====",
  });
  EXPECT_EQ("\r\n", Filter(input, ".GE", "2003/05/10", "dev1"));
  EXPECT_EQ(Header + crlf({"m/", "    x.c", "        New.", "        ----------------------------",
                           "        revision 1.1", "        date: 2001/01/01 10:00:00;  author: dev1;  state: Exp;",
                           "        Old.", ""}),
            Filter(input, ".GE", "2003/05/10", "dev2"));
}

TEST_F(Quillet, DatePartsThatAreNoNumbersDoNotMatchAndDoNotFail) {
  const std::string input = lf({
      "RCS file: /cvsroot/m/x.c,v",
      "- Update: new icons",
      "Update: new icons; author: dev1;",
      "date: 2003/05/12 10:00:00;  author: dev1;  state: Exp;",
      "Picked here.",
      "==",
  });
  for (const char* op : {".GT", ".GE", ".LT", ".LE", ".EQ"}) {
    const std::string report = Filter(input, op, "2003/05/12", "dev1");
    const bool picked = std::string(op) != ".GT" && std::string(op) != ".LT";
    EXPECT_EQ(picked ? Header + crlf({"m/", "    x.c", "        Picked here.", ""}) : "\r\n", report) << op;
  }
}

TEST_F(Quillet, FolderLinesFormATree) {
  std::string input;
  for (const char* path : {"/DATA/cvsroot/modA/src/x.c", "/DATA/cvsroot/modA/src/common.h",
                           "/DATA/cvsroot/modB/src/y.c", "/DATA/cvsroot/MODB/doc/i.txt",
                           "/DATA/cvsroot/modA/src/z.c", "/cvsroot/readme.txt", "/home/cvs/x/a.c",
                           "/DATABASE/a.c", "/cvsroot/m/Attic/gone.c", "/cvsroot/m/b.c"})
    input += Block(path, "2003/05/10", "dev1");
  const std::string expected = Header + crlf({
      "modA/", "    src/", "        x.c", "            Message.",
      "        common.h", "            Message.",
      "modB/", "    src/", "        y.c", "            Message.",
      "    doc/", "        i.txt", "            Message.",
      "modA/", "    src/", "        z.c", "            Message.",
      "readme.txt", "    Message.",
      "/", "    home/", "        cvs/", "            x/", "                a.c", "                    Message.",
      "BASE/", "    a.c", "        Message.",
      "m/", "    b.c", "        Message.",
      "",
  });
  EXPECT_EQ(expected, Filter(input, ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, AtticBlockWritesOnlyTheHeader) {
  EXPECT_EQ(Header + "\r\n", Filter(Block("/cvsroot/m/aTTic/x.c", "2003/05/10", "dev1"), ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, BlockWithoutCommaCopiesWithoutIndent) {
  const std::string input = lf({"RCS file: no comma here", "date: 2003/05/10 1;  author: dev1;", "copied",
                                "===="}) +
                            Block("/cvsroot/m/b.c", "2003/05/10", "dev1");
  EXPECT_EQ(Header + crlf({"copied", "m/", "    b.c", "        Message.", ""}),
            Filter(input, ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, OnlyARowOfEqualsSignsEndsTheCopy) {
  const std::string input = lf({"RCS file: /cvsroot/x.c,v", "date: 2003/05/10 1;  author: dev1;", "a == b",
                                "= =", "==x", "==   ", "after"});
  EXPECT_EQ(Header + crlf({"x.c", "    a == b", "    = =", "    ==x", ""}),
            Filter(input, ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, BlocksStartOnlyAtLinesThatBeginWithTheLabel) {
  const std::string input = lf({
      "RCS file: /cvsroot/m/x.c,v",
      "date: 2003/05/10 1;  author: dev1;",
      "Its history stays in RCS file: /cvsroot/m/Attic/old.c,v",
      "===",
      "rcs FILE: /cvsroot/m/y.c,v",
      "date: 2003/05/10 1;  author: dev1;",
      "y",
      "===",
  });
  EXPECT_EQ(Header + crlf({"m/", "    x.c", "        Its history stays in RCS file: /cvsroot/m/Attic/old.c,v",
                           // The label in other letter case shifts the path by one:
                           // it is taken by the exact label's position.
                           " m/", "    y.", "        y", ""}),
            Filter(input, ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, CopyWithoutSectionEndRunsToTheEndAndLaterBlocksFollowIt) {
  // No rows of equals signs: the first copy runs to the end of the input; the
  // second block is still picked and written after it with its own copy.
  const std::string input = lf({"RCS file: /cvsroot/m/x.c,v", "date: 2003/05/10 1;  author: dev1;", "one",
                                "RCS file: /cvsroot/n/y.c,v", "date: 2003/05/10 2;  author: dev1;", "two"});
  EXPECT_EQ(Header + crlf({"m/", "    x.c", "        one", "        RCS file: /cvsroot/n/y.c,v",
                           "        date: 2003/05/10 2;  author: dev1;", "        two", "n/", "    y.c",
                           "        two", ""}),
            Filter(input, ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, LineEndsNulsAndTheOldReport) {
  // CR LF, lone CR and LF all end a line; a NUL is an ordinary character.
  using namespace std::string_literals;
  const std::string input = "RCS file: /cvsroot/x.c,v\r\ndate: 2003/05/10 1;  author: dev1;\ra\0b\r\n\rc\n==\r\n"s;
  TQuillet engine;
  engine.SetDate("2003/05/10");
  engine.SetPerson("tester");
  EXPECT_EQ(Header + crlf({"x.c", std::string("    a\0b", 7), "    ", "    c", "", "old", "", "older"}),
            engine.RunOnText(input, std::string("old\r\rolder")));
}

TEST_F(Quillet, LinesAcrossTheReadersChunksAndVeryLongLines) {
  // The reader takes 1 MiB at a time: put a CR LF on every position around
  // that boundary, and one line of 3 MiB.
  const std::string head = "RCS file: /cvsroot/x.c,v\ndate: 2003/05/10 1;  author: dev1;\n";
  for (std::size_t at = (1u << 20) - 3; at <= (1u << 20) + 1; ++at) {
    const std::string filler(at - head.size(), 'f');
    const std::string report = Filter(head + filler + "\r\nnext\r\n==\r\n", ".EQ", "2003/05/10", "dev1");
    EXPECT_EQ(Header + crlf({"x.c", "    " + filler, "    next", ""}), report) << at;
  }
  const std::string longLine(3u << 20, 'L');
  EXPECT_EQ(Header + crlf({"x.c", "    " + longLine, ""}),
            Filter(head + longLine + "\n==\n", ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, SkippedLinesAcrossTheReadersChunks) {
  // Outside a copy the reader skips ahead to the labels. Move a block across
  // the 1 MiB boundary byte by byte, so that each label, the author's name, a
  // CR LF and a lone CR in turn straddle it. The filler ahead holds colons
  // and an open block whose revisions are by someone else.
  const std::string open = "RCS file: /cvsroot/a.c,v\r\ndate: 2003/05/10 1;  author: dev2;\n";
  const std::string block = "RCS file: /cvsroot/b.c,v\r\n"
                            "date: 2003/05/10 1;  AuThOr: dev11;\n"
                            "date: 2003/05/10 1;  author: dev1;\r"
                            "copied: 1\r\n==\n";
  for (std::size_t at = (1u << 20) - 70; at <= (1u << 20) + 2; ++at) {
    std::string input = open;
    while (input.size() + 16 < at) input += "msg: x author:\r\n";
    input += std::string(at - input.size() - 1, 'f') + "\r";
    EXPECT_EQ(Header + crlf({"b.c", "    copied: 1", ""}), Filter(input + block, ".EQ", "2003/05/10", "dev1"))
        << at;
  }
}

TEST_F(Quillet, SkippingKeepsEveryLineThatMayPick) {
  // Label and name variants the skipping must neither miss nor take wrongly.
  struct TCase {
    const char* Author;
    std::string Input;
    std::string Picked;  // the report's lines behind the header
  };
  const std::string start = "RCS file: /cvsroot/x.c,v\n";
  const TCase cases[] = {
      {"dev1", start + "date: 2003/05/10 1;  author: dev1", "x.c"},  // name at the very end
      {"dev1", start + "date: 2003/05/10 1;  author: dev1\nm\n", "x.c|    m"},
      {"dev1", start + "date: 2003/05/10 1;  author: dev1;", "x.c"},
      {"dev1", start + "date: 2003/05/10 1;  author: dev12;\n", ""},
      {"dev1", start + "date: 2003/05/10 1;  author:\ndev1;\n", ""},
      {"dev1", start + "date: 2003/05/10 1;  author:", ""},
      {"", start + "date: 2003/05/10 1;  author:\nm\n", "x.c|    m"},
      {"DEV1", start + "date: 2003/05/10 1;  aUtHoR: dEv1;\nm\n", "x.c|    m"},
      // The first author label decides, however the later ones read.
      {"dev1", start + "date: 2003/05/10 1;  author: dev2; author: dev1;\n", ""},
      // A block starts after a lone CR, not behind other text.
      {"dev1", "x\rRCS file: /cvsroot/y.c,v\rdate: 2003/05/10 1;  author: dev1;\rm\r", "y.c|    m"},
      {"dev1", "x RCS file: /cvsroot/y.c,v\ndate: 2003/05/10 1;  author: dev1;\n", ""},
      {"dev1", "RCS file: /cvsroot/y.c,v\nRCS file: /cvsroot/z.c,v date: 2003/05/10 1;  author: dev1;\n",
       "z.c"},
  };
  for (const TCase& c : cases) {
    std::string expected;
    if (*c.Picked.data() != '\0') {
      for (std::size_t from = 0, bar; from <= c.Picked.size(); from = bar + 1) {
        bar = std::min(c.Picked.find('|', from), c.Picked.size());
        expected += c.Picked.substr(from, bar - from) + "\r\n";
      }
      expected = Header + expected;
    }
    EXPECT_EQ(expected + "\r\n", Filter(c.Input, ".EQ", "2003/05/10", c.Author)) << c.Input;
  }
}

TEST_F(Quillet, SettersCheckTheOperatorAndDropQuotes) {
  TQuillet engine;
  EXPECT_EQ("The date operator is not guilty!", failureOf([&] { engine.SetDateOperator(".NE"); }));
  EXPECT_EQ("(no failure)", failureOf([&] { engine.SetDateOperator(".gt"); }));
  engine.SetDate("2003/05/10");
  engine.SetAuthor("dev1");
  // The operator .gt was taken and selects its comparison; .NE changed nothing.
  EXPECT_EQ("\r\n", engine.RunOnText(Block("/cvsroot/x.c", "2003/05/10", "dev1")));
}

TEST_F(Quillet, RunChecksItsSettingsInOrder) {
  TQuillet engine;
  EXPECT_EQ("The file for reading the comments has to be declared! (Use switch INPUT)", failureOf([&] { engine.Run(); }));
  engine.SetOutputFile("\"");
  EXPECT_EQ("The file for reading the comments has to be declared! (Use switch INPUT)", failureOf([&] { engine.Run(); }));
  engine.SetInputFile("in.txt\"");
  EXPECT_EQ("The file for storing the CVS comments has to be declared! (Use switch OUTPUT)",
            failureOf([&] { engine.Run(); }));
  engine.SetOutputFile("\"out.txt\"");
  EXPECT_EQ("The person has to be declared! (Use switch PERSON)", failureOf([&] { engine.Run(); }));
  engine.SetPerson("tester");
  EXPECT_EQ("The date has to be declared! (Use switch DATE)", failureOf([&] { engine.Run(); }));
}

class QuilletFiles : public Quillet {
protected:
  void Configure(TQuillet& engine, const std::string& input, const std::string& output) {
    engine.SetDateOperator(".GE");
    engine.SetDate("2003/05/10");
    engine.SetPerson("tester");
    engine.SetAuthor("dev1");
    engine.SetInputFile("\"" + input + "\"");
    engine.SetOutputFile(output);
  }
  std::size_t FileCount() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(FDir.Path())) ++n;
    return n;
  }
  TTempDir FDir;
};

TEST_F(QuilletFiles, ReportGoesInFrontOfTheOldOutput) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(in, WorkedExampleInput);
  WriteBytes(out, "old report\n");
  TQuillet engine;
  Configure(engine, in, out);
  engine.Run();
  const std::string report = Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1");
  EXPECT_EQ(report + "old report\r\n", ReadBytes(out));
  EXPECT_EQ(2u, FileCount()) << "no temporary or lock file stays behind";
}

TEST_F(QuilletFiles, InputAndOutputMayBeTheSameFile) {
  const std::string both = FDir.File("log.txt");
  WriteBytes(both, WorkedExampleInput);
  TQuillet engine;
  Configure(engine, both, both);
  engine.Run();
  // The report, the empty line, then the input's own lines ending in CR LF.
  std::string oldLines;
  for (char c : WorkedExampleInput) oldLines += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1") + oldLines, ReadBytes(both));
}

TEST_F(QuilletFiles, FileFailuresNameThePathAndLeaveTheOutputAlone) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(out, "keep me");
  TQuillet engine;
  Configure(engine, in, out);
  EXPECT_EQ("Datei " + in + " kann nicht ge\xF6" "ffnet werden", failureOf([&] { engine.Run(); }));
  EXPECT_EQ("keep me", ReadBytes(out));

  WriteBytes(in, WorkedExampleInput);
  const std::string nowhere = FDir.File("missing-folder") + "/report.txt";
  engine.SetOutputFile(nowhere);
  EXPECT_EQ("Datei " + nowhere + " kann nicht erstellt werden", failureOf([&] { engine.Run(); }));

  // An old output that exists but cannot be read is neither merged nor lost.
  const std::string folder = FDir.File("a-folder");
  std::filesystem::create_directory(folder);
  engine.SetOutputFile(folder);
  EXPECT_EQ("Datei " + folder + " kann nicht ge\xF6" "ffnet werden", failureOf([&] { engine.Run(); }));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(3u, FileCount()) << "no temporary or lock file stays behind";
}

TEST_F(QuilletFiles, UnreadableOldOutputFailsTheRun) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(in, WorkedExampleInput);
  WriteBytes(out, "secret");
  std::filesystem::permissions(out, std::filesystem::perms::none);
  if (ReadBytes(out) == "secret") GTEST_SKIP() << "this user reads files without read permission";
  TQuillet engine;
  Configure(engine, in, out);
  EXPECT_EQ("Datei " + out + " kann nicht ge\xF6" "ffnet werden", failureOf([&] { engine.Run(); }));
  std::filesystem::permissions(out, std::filesystem::perms::owner_all);
  EXPECT_EQ("secret", ReadBytes(out));
}

TEST_F(QuilletFiles, ConcurrentRunsOnOneOutputKeepEveryReport) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(in, WorkedExampleInput);
  constexpr int runs = 8;
  std::vector<std::thread> threads;
  std::vector<std::string> failures(runs);
  for (int i = 0; i < runs; ++i)
    threads.emplace_back([&, i] {
      try {
        TQuillet engine;
        Configure(engine, in, out);
        engine.SetPerson("runner" + std::to_string(i));
        engine.Run();
      } catch (const EFailure& failure) {
        failures[static_cast<std::size_t>(i)] = failure.Message();
      }
    });
  for (std::thread& thread : threads) thread.join();
  const std::string result = ReadBytes(out);
  const std::string one = Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1");
  // Every run adds its report and one empty line; "runnerN" is one letter longer than "tester".
  EXPECT_EQ((one.size() + 1) * runs, result.size());
  for (int i = 0; i < runs; ++i) {
    EXPECT_EQ("", failures[static_cast<std::size_t>(i)]);
    std::string header = "User: runner";
    header += std::to_string(i);  // (one expression: g++ 12 warns falsely of overlapping copies)
    header += "\r\n";
    const std::size_t at = result.find(header);
    ASSERT_NE(std::string::npos, at) << i;
    EXPECT_EQ(std::string::npos, result.find(header, at + 1)) << i;
  }
  EXPECT_EQ(2u, FileCount());
}
}  // namespace
