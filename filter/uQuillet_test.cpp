#include "filter/uQuillet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "filter/uEngineTestFixture.h"
#include "test/uFaultyFiles.h"
#include "test/uTestSupport.h"

namespace {
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
  TQuillet engine(TestEnvironment());
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
      Dashes.c_str(),
      "revision 1.2",
      "date: 2003/05/12 10:00:00;  author: dev2;  state: Exp;",
      "New.",
      "----------------------------",
      "revision 1.1",
      "date: 2001/01/01 10:00:00;  author: dev1;  state: Exp;",
      "Old.",
      EndRow.c_str(),
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
      Dashes.c_str(),
      "revision 1.2",
      "Update: new icons; author: dev1;",
      Dashes.c_str(),
      "revision 1.1",
      "date: 2003/05/12 10:00:00;  author: dev1;  state: Exp;",
      "Picked here.",
      EndRow.c_str(),
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
      "    DATABASE/", "        a.c", "            Message.",
      "m/", "    b.c", "        Message.",
      "",
  });
  EXPECT_EQ(expected, Filter(input, ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, AtticBlockWritesOnlyTheHeader) {
  EXPECT_EQ(Header + "\r\n", Filter(Block("/cvsroot/m/aTTic/x.c", "2003/05/10", "dev1"), ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, AdversarialLogs) {
  // Each log with the report lines behind the header ("" when nothing is
  // picked), for author dev1 and dates on or after 2003/05/10.
  const std::string start = "RCS file: /cvsroot/m/x.c,v\n";
  const std::string pick = Revision + "date: 2003/05/12 10:00:00;  author: dev1;  state: Exp;\n";
  const std::string old = Revision + "date: 2001/01/01 10:00:00;  author: dev1;  state: Exp;\n";
  const std::string byOther = Revision + "date: 2003/05/12 10:00:00;  author: dev2;  state: Exp;\n";
  std::string deepPath = "/cvsroot";
  for (int i = 1; i <= 34; ++i) deepPath += "/d" + std::to_string(i);
  std::string deepTree;
  for (int i = 1; i <= 31; ++i) deepTree += std::string(4 * (i - 1), ' ') + "d" + std::to_string(i) + "/|";
  deepTree += std::string(4 * 31, ' ') + "d32/d33/d34/|" + std::string(4 * 32, ' ') + "x.c";
  const struct {
    const char* Name;
    std::string Input;
    std::string Report;  // lines separated by "|"
  } cases[] = {
      {"forged date line in a message", start + byOther +
           "date: 2003/05/12 10:00:00;  author: dev1;  state: Exp;\n" + EndRow, ""},
      {"prose with both labels", start + old + "Changed the due date: 2003-05-12 and the author: dev1; ok\n" + EndRow,
       ""},
      {"labels in other order in a message", start + byOther + "Author: dev1; date: 2003-05-12 (original)\n" + EndRow,
       ""},
      {"date line not right after the number line", start + Dashes + "\nrevision 1.1\nbranches: 1.1.2;\n" +
           "date: 2003/05/12 10:00:00;  author: dev1;\n" + EndRow, ""},
      {"number line not after the dashes", start + "revision 1.1\ndate: 2003/05/12 10:00:00;  author: dev1;\n" + EndRow,
       ""},
      {"section start inside a message is text",
       start + pick + "RCS file: /cvsroot/secret/hidden.c,v\n" + pick + "m\n" + EndRow,
       "m/|    x.c|        RCS file: /cvsroot/secret/hidden.c,v|        " + Dashes +
           "|        revision 1.1|        date: 2003/05/12 10:00:00;  author: dev1;  state: Exp;|        m"},
      {"no secret from an unpicked section", start + byOther + "RCS file: /cvsroot/secret/hidden.c,v\n" +
           "date: 2003/05/12 10:00:00;  author: dev1;\n" + EndRow, ""},
      {"a short row of = is message text", start + pick + "Heading\n=============\nmore\n" + EndRow + "\nafter\n",
       "m/|    x.c|        Heading|        =============|        more"},
      {"end row with trailing blanks, 76 and 78 =", start + pick + std::string(76, '=') + "\n" +
           std::string(78, '=') + "\n" + EndRow + " \t\r\nafter\n",
       "m/|    x.c|        " + std::string(76, '=') + "|        " + std::string(78, '=')},
      {"77 characters, one of them no =", start + pick + std::string(76, '=') + "-\n" + std::string(40, '=') + "x" +
           std::string(36, '=') + "\n" + EndRow + "\nafter\n",
       "m/|    x.c|        " + std::string(76, '=') + "-|        " + std::string(40, '=') + "x" + std::string(36, '=')},
      {"missing end rows: one section to the end", start + pick + "one\nRCS file: /cvsroot/n/y.c,v\n" + pick + "two\n",
       "m/|    x.c|        one|        RCS file: /cvsroot/n/y.c,v|        " + Dashes + "|        revision 1.1|" +
           "        date: 2003/05/12 10:00:00;  author: dev1;  state: Exp;|        two"},
      {"section start only at a line's start, in any case",
       "x RCS file: /cvsroot/a.c,v\n" + pick + EndRow + "\nrcs FILE: /cvsroot/b.c,v\n" + pick + "b\n" + EndRow,
       "b.c|    b"},
      {"lone CRs end lines", "RCS file: /cvsroot/y.c,v\r" + Dashes + "\rrevision 1.1\r" +
           "date: 2003/05/12 1;  author: dev1;\rm\r" + EndRow + "\r",
       "y.c|    m"},
      {"start line without a comma", "RCS file: no comma here\n" + pick + "copied\n" + EndRow, "copied"},
      {"repository roots cut at whole components",
       "RCS file: /var/lib/cvsroot/shop/a.c,v\n" + pick + EndRow + "\nRCS file: /usr/local/cvsroot/shop/b.c,v\n" +
           pick + EndRow + "\nRCS file: /srv/DATAsets/c.c,v\n" + pick + EndRow +
           "\nRCS file: /DATA/cvsroot/proj/d.c,v\n" + pick + EndRow,
       "shop/|    a.c|    b.c|/|    srv/|        DATAsets/|            c.c|proj/|    d.c"},
      {"deep paths end on one folder line", "RCS file: " + deepPath + "/x.c,v\n" + pick + EndRow, deepTree},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Report(c.Report), Filter(c.Input, ".GE", "2003/05/10", "dev1")) << c.Name;
  }
}

TEST_F(Quillet, ReportGrowsLinearlyWithTheLog) {
  // A path of 65,536 levels, and sections without end rows.
  std::string path = "RCS file: /cvsroot";
  for (int i = 0; i < 65536; ++i) path += "/a";
  const std::string pick = Revision + "date: 2003/05/12 1;  author: dev1;\n";
  std::string input = path + "/x.c,v\n" + pick + EndRow + "\n";
  for (int i = 0; i < 2000; ++i) input += "RCS file: /cvsroot/m/x" + std::to_string(i) + ".c,v\n" + pick;
  EXPECT_LT(Filter(input, ".GE", "2003/05/10", "dev1").size(), 3 * input.size());
}

TEST_F(Quillet, OperatorTextsAndQuotes) {
  EXPECT_EQ(std::nullopt, DateOperatorFromText(".NE"));
  EXPECT_EQ(TDateOperator::Greater, DateOperatorFromText(".gt"));
  TQuillet engine(TestEnvironment());
  engine.SetDateOperator(TDateOperator::Greater);
  engine.SetDate("2003/05/10");
  engine.SetAuthor("dev1");
  EXPECT_EQ("\r\n", engine.RunOnText(Block("/cvsroot/x.c", "2003/05/10", "dev1")));
}

TEST_F(Quillet, RunChecksItsSettingsInOrder) {
  TQuillet engine(TestEnvironment());
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
    engine.SetDateOperator(Op(".GE"));
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
  TQuillet engine(TestEnvironment());
  Configure(engine, in, out);
  engine.Run();
  const std::string report = Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1");
  EXPECT_EQ(report + "old report\r\n", ReadBytes(out));
  EXPECT_EQ(2u, FileCount()) << "no temporary or lock file stays behind";
  // Parts asked for, but no end row to cut behind: the search for one must
  // not move where the single part reads.
  const std::string noEndRows = WorkedExampleInput.substr(0, WorkedExampleInput.find("====")) + "\n";
  WriteBytes(in, noEndRows);
  WriteBytes(out, "");
  TQuillet parts(TestEnvironment());
  Configure(parts, in, out);
  parts.SetParts(3);
  parts.Run();
  EXPECT_EQ(Filter(noEndRows, ".GE", "2003/05/10", "dev1"), ReadBytes(out));
}

TEST_F(QuilletFiles, InputAndOutputMayBeTheSameFile) {
  const std::string both = FDir.File("log.txt");
  WriteBytes(both, WorkedExampleInput);
  TQuillet engine(TestEnvironment());
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
  TQuillet engine(TestEnvironment());
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

TEST_F(QuilletFiles, EveryFailingFileOperationLeavesTheOldOutputAndNothingElse) {
  // The old report takes several reads and writes of 512 KiB, so failures in
  // mid-stream are walked as well as the first and the last call.
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(in, WorkedExampleInput);
  std::string old;
  while (old.size() < (3u << 19)) old += "an earlier report's line\r\n";
  const std::string report = Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1") + old;
  const std::string inFails = "Datei " + in + " kann nicht ge\xF6" "ffnet werden";
  const std::string oldFails = "Datei " + out + " kann nicht ge\xF6" "ffnet werden";
  const std::string outFails = "Datei " + out + " kann nicht erstellt werden";
  using enum TFileOp;
  const struct {
    TFileOp Op;
    const char* Only;
    bool OutOfMemory;
    std::string Message;  // empty: the run stands
    std::size_t Parts = 1;  // 3: the log's later parts wait in temporary files ("report.txt.~...")
  } cases[] = {
      {OpenRead, "cvs.log", false, inFails},   {Read, "cvs.log", false, inFails},
      {Read, "cvs.log", true, SOutOfMemory},   {Lock, "", false, outFails},
      {IsReplaceable, "", false, outFails},    {OpenRead, "report.txt", false, oldFails},
      {Read, "report.txt", false, oldFails},   {Read, "report.txt", true, SOutOfMemory},
      {CreateTemp, "", false, outFails},       {Write, "", false, outFails},
      {Write, "", true, SOutOfMemory},         {Flush, "", false, outFails},
      {SameFile, "", false, outFails},        {Replace, "", false, outFails},
      // After the replacement only durability is at stake: the report stays.
      {FlushFolder, "", false, ""},
      {OpenRead, "cvs.log", false, inFails, 3}, {Read, "cvs.log", false, inFails, 3},
      {CreateTemp, "", false, outFails, 3},     {Write, ".~", false, outFails, 3},
      {Read, ".~", false, outFails, 3},
      {Read, ".~", true, SOutOfMemory, 3},
  };
  int points = 0;
  for (const auto& c : cases) {
    for (int n = 1;; ++n) {
      WriteBytes(out, old);
      TFaultyFiles faults({c.Op, c.Only, n, c.OutOfMemory}, 512u << 10);
      TQuillet engine(TestEnvironment(), faults);
      Configure(engine, in, out);
      engine.SetParts(c.Parts);
      const std::string message = failureOf([&] { engine.Run(); });
      const std::string where = c.Only + std::string(" call ") + std::to_string(n) + " of " +
                                std::to_string(static_cast<int>(c.Op)) + " in " + std::to_string(c.Parts) + " parts";
      EXPECT_EQ(2u, FileCount()) << "no temporary or lock file stays behind: " << where;
      if (!faults.Injected()) {
        EXPECT_GT(n, 1) << "no such call: " << where;
        EXPECT_EQ("(no failure)", message);
        break;
      }
      ++points;
      EXPECT_EQ(c.Message.empty() ? "(no failure)" : c.Message, message) << where;
      // A file that cannot be created gets the system's reason as one line,
      // about the lock file where the lock failed.
      ASSERT_EQ(c.Message == outFails ? 1u : 0u, faults.Told().size()) << where;
      if (c.Op == Lock) {
        EXPECT_EQ(out + ".lock", faults.Told()[0]);
      }
      EXPECT_EQ(c.Message.empty() ? report : old, ReadBytes(out)) << where;
    }
  }
  RecordProperty("FailurePoints", points);
}

TEST_F(QuilletFiles, UnreadableOldOutputFailsTheRun) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(in, WorkedExampleInput);
  WriteBytes(out, "secret");
  std::filesystem::permissions(out, std::filesystem::perms::none);
  if (ReadBytes(out) == "secret") GTEST_SKIP() << "this user reads files without read permission";
  TQuillet engine(TestEnvironment());
  Configure(engine, in, out);
  EXPECT_EQ("Datei " + out + " kann nicht ge\xF6" "ffnet werden", failureOf([&] { engine.Run(); }));
  std::filesystem::permissions(out, std::filesystem::perms::owner_all);
  EXPECT_EQ("secret", ReadBytes(out));
}

// Another user at work in a folder both can write: once the `nth` temporary
// file made (from 0) has had its first write, its name is given to a file of
// the other user's choosing, and the log's name to another log.
class TMeddlingFiles : public TRealFileSystem {
public:
  TMeddlingFiles(int nth, std::string log) : FNth(nth), FLog(std::move(log)) {}
  // The engine calls from several threads at once.
  std::optional<TOsFile> CreateTempBeside(const std::string& target, std::string& tempPath) override {
    const std::optional<TOsFile> file = TRealFileSystem::CreateTempBeside(target, tempPath);
    const std::lock_guard lock(FMutex);
    if (file && FNth-- == 0) FPaths[*file] = tempPath;
    return file;
  }
  bool Write(TOsFile file, const char* data, std::size_t size) override {
    return Meddle(file, TRealFileSystem::Write(file, data, size));
  }
  bool WriteAt(TOsFile file, std::uint64_t offset, const char* data, std::size_t size) override {
    return Meddle(file, TRealFileSystem::WriteAt(file, offset, data, size));
  }
  bool Swapped = false;

private:
  bool Meddle(TOsFile file, bool written) {
    const std::lock_guard lock(FMutex);
    const auto swap = FPaths.find(file);
    if (swap != FPaths.end()) {
      std::filesystem::rename(swap->second, swap->second + ".moved");
      WriteBytes(swap->second, "the other user's secret\r\n");
      // Windows keeps an open log from being renamed; POSIX does not.
      std::error_code refused;
      std::filesystem::rename(FLog, FLog + ".old", refused);
      if (!refused) WriteBytes(FLog, "RCS file: /cvsroot/other/log.c,v\n");
      FPaths.clear();
      Swapped = true;
    }
    return written;
  }

  int FNth;
  std::string FLog;
  std::map<TOsFile, std::string> FPaths;
  std::mutex FMutex;
};

TEST_F(QuilletFiles, NoFileIsReadOrReplacedByNameTwice) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  std::string log;
  for (int i = 0; i < 400; ++i) log += WorkedExampleInput;
  const std::string report = Filter(log, ".GE", "2003/05/10", "dev1");
  // Which temporary file is swapped: the report's own, which must then not
  // replace the output, or a later part's, whose report is read back all the same.
  const struct {
    std::size_t Parts;
    int Nth;
    bool Fails;
  } cases[] = {{1, 0, true}, {3, 0, true}, {3, 1, false}, {3, 2, false}};
  for (const auto& c : cases) {
    WriteBytes(in, log);
    WriteBytes(out, "old\r\n");
    TMeddlingFiles meddling(c.Nth, in);
    TQuillet engine(TestEnvironment(), meddling);
    Configure(engine, in, out);
    engine.SetParts(c.Parts);
    const std::string message = failureOf([&] { engine.Run(); });
    EXPECT_TRUE(meddling.Swapped) << c.Parts;
    EXPECT_EQ(c.Fails ? "Datei " + out + " kann nicht erstellt werden" : "(no failure)", message) << c.Parts;
    EXPECT_TRUE((c.Fails ? "old\r\n" : report + "old\r\n") == ReadBytes(out)) << c.Parts << " " << c.Nth;
    for (const auto& entry : std::filesystem::directory_iterator(FDir.Path()))
      if (entry.path().filename().string().find(".~") != std::string::npos) std::filesystem::remove(entry.path());
  }
}

// The real file system, with the reads of the log's middle held until a
// later part's report is first read back: that report is then joined while
// its part still writes it.
class THeldMiddle : public TRealFileSystem {
public:
  explicit THeldMiddle(std::string log) : FLogPath(std::move(log)) {}
  std::optional<TOsFile> OpenRead(const std::string& path) override {
    const std::optional<TOsFile> file = TRealFileSystem::OpenRead(path);
    if (file && path == FLogPath) FLog = file;
    return file;
  }
  std::optional<std::size_t> ReadAt(TOsFile file, std::uint64_t offset, char* buffer, std::size_t size) override {
    std::unique_lock lock(FMutex);
    if (file != FLog) {
      FReadBack = true;
      FChanged.notify_all();
    } else if (const std::uint64_t whole = *FileSize(file); offset >= whole / 2 && offset < whole / 10 * 6) {
      if (!FChanged.wait_for(lock, std::chrono::seconds(30), [this] { return FReadBack; })) TimedOut = true;
    }
    lock.unlock();
    return TRealFileSystem::ReadAt(file, offset, buffer, size);
  }
  bool TimedOut = false;

private:
  std::string FLogPath;
  std::optional<TOsFile> FLog;
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FReadBack = false;
};

TEST_F(QuilletFiles, ALaterPartIsJoinedWhileItIsWritten) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  // Every revision picked, with a long message, files in folders of 500: the
  // middle part writes megabytes before it is held, and the file it ends on
  // shares its folder with the next part's first.
  std::string log;
  for (int i = 0; i < 30000; ++i) {
    std::string block = Block("/cvsroot/p/d" + std::to_string(i / 500) + "/f" + std::to_string(i) + ".c",
                              "2003/05/10", "dev1");
    log += block.replace(block.find("Message."), 8, std::string(300, 'm'));
  }
  WriteBytes(in, log);
  TQuillet whole(TestEnvironment());
  Configure(whole, in, out);
  whole.SetParts(1);
  whole.Run();
  const std::string report = ReadBytes(out);
  std::filesystem::remove(out);
  THeldMiddle held(in);
  TQuillet parts(TestEnvironment(), held);
  Configure(parts, in, out);
  parts.SetParts(3);
  parts.Run();
  EXPECT_FALSE(held.TimedOut);
  EXPECT_TRUE(report == ReadBytes(out));
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
        TQuillet engine(TestEnvironment());
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
