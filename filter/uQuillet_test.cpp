// The engine on texts: the worked example, the date and author tests, the
// folder tree, logs built to mislead, and the checks of its settings.
#include "filter/uQuillet.h"

#include <gtest/gtest.h>

#include "filter/uEngineTestFixture.h"

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
    const char* Second = "";  // a second condition, which must hold too
    const char* SecondDate = "";
  } cases[] = {
      {".GT", {true, true, true, false, false, false}},
      {".GE", {true, true, true, true, false, false}},
      {".EQ", {false, false, false, true, false, false}},
      {".LE", {false, false, false, true, true, true}},
      {".LT", {false, false, false, false, true, true}},
      {".GE", {true, true, false, true, false, false}, ".LT", "2004/01/01"},
      {".LE", {false, false, false, true, true, false}, ".GT", "2002/12/31"},
      {".GT", {false, false, false, false, false, false}, ".LE", "2003/05/10"},
  };
  for (const auto& c : cases)
    for (int i = 0; i < 6; ++i) {
      const std::string report =
          Filter(Block("/cvsroot/m/x.c", dates[i], "dev1"), c.Operator, "2003/05/10", "dev1", 0, [&](TQuillet& engine) {
            if (*c.Second) engine.SetSecondDateCondition(Op(c.Second), c.SecondDate);
          });
      EXPECT_EQ(c.Picked[i], report != "\r\n") << c.Operator << " " << c.Second << " " << dates[i];
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
  // Several logins separated by ",": a revision by any of them, each whole.
  const std::string three = Block("/cvsroot/m/a.c", "2003/05/10", "dev1") + Block("/cvsroot/m/b.c", "2003/05/10", "dev2") +
                            Block("/cvsroot/m/c.c", "2003/05/10", "dev11");
  const struct {
    const char* Authors;
    const char* Report;
  } lists[] = {
      {"dev2, DEV1", "m/|    a.c|        Message.|    b.c|        Message."},
      {" dev11 ,,dev3,", "m/|    c.c|        Message."},
      {"dev,dev111,ev1", ""},
      {" , ", "m/|    a.c|        Message.|    b.c|        Message.|    c.c|        Message."},  // no name: all
  };
  for (const auto& c : lists) EXPECT_EQ(Report(c.Report), Filter(three, ".EQ", "2003/05/10", c.Authors)) << c.Authors;
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
  EXPECT_EQ("\r\n", Filter(input, ".GE", "2003/05/10", "dev3,dev1"));
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
    std::string Report;      // lines separated by "|"
    const char* Root = "";   // the repository root named
    bool RootIgnoresCase = false;
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
      {"a named root, at whole components and either separator",
       "RCS file: /var/lib/cvs/shop/src/a.c,v\n" + pick + EndRow + "\nRCS file: /var/lib/cvsx/cvsroot/b.c,v\n" + pick +
           EndRow + "\nRCS file: /VAR/lib/cvs/c.c,v\n" + pick + EndRow + "\nRCS file: \\var\\lib\\cvs/shop/d.c,v\n" +
           pick + EndRow,
       "shop/|    src/|        a.c|b.c|/|    VAR/|        lib/|            cvs/|                c.c|shop/|    d.c",
       "\\var/lib\\cvs\\"},
      {"a named root in any case where file names are",
       "RCS file: C:\\CVSRepo/module/e.c,v\n" + pick + EndRow, "module/|    e.c", "c:\\cvsrepo", true},
      {"deep paths end on one folder line", "RCS file: " + deepPath + "/x.c,v\n" + pick + EndRow, deepTree},
  };
  for (const auto& c : cases) {
    TQuilletEnvironment environment = TestEnvironment();
    environment.RootIgnoresCase = c.RootIgnoresCase;
    EXPECT_EQ(Report(c.Report), Filter(c.Input, ".GE", "2003/05/10", "dev1", 0,
                                       [&](TQuillet& engine) { engine.SetRoot(c.Root); }, environment))
        << c.Name;
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
}  // namespace
