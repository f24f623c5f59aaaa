// End-to-end tests of the main job: reports, dates, failures, real logs, POSIX
// at home. The harness is in uEndToEnd.h; other topics have files of their own.
#include "test/e2e/uEndToEnd.h"

using namespace e2e;

namespace {

// ---------------------------------------------------------------------------
// The main job

TEST_F(QuilletEndToEnd, SampleLogGivesTheReportTreeWithHeader) {
  Write("in\\cvs.log", SampleLog);
  const TRunResult r = Run(SampleArgs({"/DATE=.ge10.05.2003"}));
  ExpectSuccess(r);
  ExpectForRunDay(Read("out\\report.txt"),
                  [&](const TDate& day) { return Header("tester", day) + CrLf(SampleReportBody) + "\r\n"; });
}

TEST_F(QuilletEndToEnd, NewReportsGoInFrontOfTheEarlierOnes) {
  Write("in\\cvs.log", SampleLog);
  // An earlier file with LF line ends: its lines come back with CR LF.
  Write("out\\report.txt", "written by hand\nsecond line");
  ExpectSuccess(Run(SampleArgs({"/DATE=.ge10.05.2003"})));
  ExpectSuccess(Run({"/DATE=.le02.05.2003", "/AUTHOR=dev2", "/PERSON=second", "/INPUT=in\\cvs.log",
                     "/OUTPUT=out\\report.txt"}));
  // A run that picks nothing adds only the empty line.
  ExpectSuccess(Run(SampleArgs({"/DATE=.gt31.12.2003"})));
  const std::vector<std::string> dev2Body = {"proj/", "    src/", "        main.c", "            Added options."};
  ExpectForRunDay(Read("out\\report.txt"), [&](const TDate& day) {
    return "\r\n" + Header("second", day) + CrLf(dev2Body) + "\r\n" + Header("tester", day) +
           CrLf(SampleReportBody) + "\r\n" + CrLf({"written by hand", "second line"});
  });
}

TEST_F(QuilletEndToEnd, PathsAndNamesWithBlanks) {
  // Quoted as a Windows user quotes them: after the "=", or the first argument
  // whole (its opening quote stands before any "/"). A POSIX shell hands the
  // same quotes on when they are quoted themselves.
  Write("in\\my log.txt", SampleLog);
  const std::string typed = "\"/INPUT=in\\my log.txt\" /AUTHOR=dev1 /PERSON=\"Team lead\" /DATE=.ge10.05.2003 "
                            "/OUTPUT=\"out\\my report.txt\"";
  if (Wine()) WriteTyped(typed);
  ExpectSuccess(Wine() ? RunTyped()
                       : Run({"/INPUT=in\\my log.txt\"", "/AUTHOR=dev1", "/PERSON=\"Team lead\"", "/DATE=.ge10.05.2003",
                              "/OUTPUT=\"out\\my report.txt\""}));
  ExpectForRunDay(Read("out\\my report.txt"),
                  [&](const TDate& day) { return Header("Team lead", day) + CrLf(SampleReportBody) + "\r\n"; });
}

TEST_F(QuilletEndToEnd, WithoutAuthorEveryAuthorIsPicked) {
  Write("in\\cvs.log", SampleLog);
  ExpectSuccess(Run({"/DATE=.le02.05.2003", "/PERSON=tester", "/INPUT=in\\cvs.log", "/OUTPUT=report.txt"}));
  ExpectForRunDay(Read("report.txt"), [&](const TDate& day) {
    return Header("tester", day) + CrLf({"proj/", "    src/", "        main.c", "            Added options."}) + "\r\n";
  });
}

// Dates relative to the day of the run.

TEST_F(QuilletEndToEnd, WithoutDateTheRunDayIsTaken) {
  const TArchiveFile today{"proj/today.c", {{"1.2", IsoDate(LocalDate()), "dev1", "Made today."},
                                            {"1.1", IsoDate(LocalDate(-1)), "dev1", "Made yesterday."}}};
  const TArchiveFile yesterday{"proj/yesterday.c", {{"1.1", RlogDate(LocalDate(-1)), "dev1", "Only yesterday."}}};
  Write("in\\cvs.log", CvsLog({yesterday, today}));
  ExpectSuccess(Run(SampleArgs({})));
  if (DayChanged()) GTEST_SKIP() << "the day changed while the test ran";
  ExpectForRunDay(Read("out\\report.txt"),
                  [&](const TDate& day) { return Header("tester", day) + CrLf(ReportLines(today, 0)) + "\r\n"; });
}

struct TRelativeCase {
  const char* Name;
  const char* Date;
  std::vector<int> PickedAgo;  // days ago of the picked files, in log order
};

void PrintTo(const TRelativeCase& c, std::ostream* os) { *os << c.Date; }

class RelativeDates : public QuilletEndToEnd, public ::testing::WithParamInterface<TRelativeCase> {};

TEST_P(RelativeDates, PickByDaysBeforeTheRunDay) {
  // One file per day, 10 to 0 days ago, alternating date styles.
  std::vector<TArchiveFile> files;
  for (int ago = 10; ago >= 0; --ago) {
    const TDate d = LocalDate(-ago);
    files.push_back({"mod/f" + std::to_string(ago) + ".c",
                     {{"1.1", ago % 2 ? RlogDate(d) : IsoDate(d), "dev1", "Changed " + std::to_string(ago) + " days ago."}}});
  }
  Write("in\\cvs.log", CvsLog(files));
  ExpectSuccess(Run(SampleArgs({std::string("/DATE=") + GetParam().Date})));
  if (DayChanged()) GTEST_SKIP() << "the day changed while the test ran";
  ExpectForRunDay(Read("out\\report.txt"), [&](const TDate& day) {
    if (GetParam().PickedAgo.empty()) return std::string("\r\n");
    std::vector<std::string> body;
    bool first = true;
    for (int ago : GetParam().PickedAgo) {
      const auto lines = ReportLines(files[static_cast<std::size_t>(10 - ago)], 0, first ? 0 : 1);
      body.insert(body.end(), lines.begin(), lines.end());
      first = false;
    }
    return Header("tester", day) + CrLf(body) + "\r\n";
  });
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, RelativeDates,
                         ::testing::Values(TRelativeCase{"OnOrAfter7DaysAgo", ".ge-7", {7, 6, 5, 4, 3, 2, 1, 0}},
                                           TRelativeCase{"After2DaysAgo", ".gt-2", {1, 0}},
                                           TRelativeCase{"On7DaysAgo", ".eq-7", {7}},
                                           TRelativeCase{"Before8DaysAgo", ".lt-8", {10, 9}},
                                           TRelativeCase{"OnOrBefore10DaysAgo", ".le-10", {10}},
                                           TRelativeCase{"AfterToday", ".gt-0", {}},
                                           TRelativeCase{"TheSevenDaysBeforeToday", ".ge-7.lt-0", {7, 6, 5, 4, 3, 2, 1}},
                                           TRelativeCase{"UpperBoundFirst", ".le-8.ge-10", {10, 9, 8}}),
                         CaseName<TRelativeCase>);

// The user's short date format: the header and the dates read from the switches.

std::string PictureName(const ::testing::TestParamInfo<const char*>& picture) {
  std::string name;
  for (const char* c = picture.param; *c; ++c)
    if (std::isalpha(static_cast<unsigned char>(*c))) name += *c;
  return name;
}

class ShortDateFormats : public QuilletEndToEnd, public ::testing::WithParamInterface<const char*> {};

TEST_P(ShortDateFormats, AbsoluteDateAndHeaderFollowTheFormat) {
  SetShortDate(GetParam());
  Write("in\\cvs.log", SampleLog);
  // A "/" cannot stand in a command-line value: the date comes from the registry.
  SetRegistry("PARAMETERS", "DATE", ".ge" + FormatDate({2003, 5, 10}, GetParam()));
  ExpectSuccess(Run(SampleArgs({})));
  ExpectForRunDay(Read("out\\report.txt"),
                  [&](const TDate& day) { return Header("tester", day) + CrLf(SampleReportBody) + "\r\n"; });
}

TEST_P(ShortDateFormats, RelativeDateIsCountedFromTheRunDay) {
  SetShortDate(GetParam());
  const TArchiveFile recent{"a/recent.c", {{"1.1", IsoDate(LocalDate(-3)), "dev1", "Recent."}}};
  const TArchiveFile old{"a/old.c", {{"1.1", IsoDate(LocalDate(-30)), "dev1", "Old."}}};
  Write("in\\cvs.log", CvsLog({old, recent}));
  ExpectSuccess(Run(SampleArgs({"/DATE=.ge-7"})));
  if (DayChanged()) GTEST_SKIP() << "the day changed while the test ran";
  ExpectForRunDay(Read("out\\report.txt"),
                  [&](const TDate& day) { return Header("tester", day) + CrLf(ReportLines(recent, 0)) + "\r\n"; });
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, ShortDateFormats,
                         ::testing::Values("dd.MM.yyyy", "M/d/yyyy", "yyyy-MM-dd", "d/M/yy"), PictureName);

// ---------------------------------------------------------------------------
// Failures: one line on stdout, exit code 1, the output file untouched

struct TFailureCase {
  const char* Name;
  std::vector<std::string> Args;
  const char* Message;
  std::vector<std::string> Err = {};  // lines on stderr; "quillet" stands for the program's name
};

void PrintTo(const TFailureCase& c, std::ostream* os) { *os << c.Name; }

const char* const TryHelp = "Try \"quillet --help\" for the list of switches.";

class Failures : public QuilletEndToEnd, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(Failures, OneLineAndExitCodeOne) {
  Write("in\\cvs.log", SampleLog);
  Write("in\\empty.log", "");
  Write("in\\aborted.log", "cvs [log aborted]: no such directory `proj'\n");
  Write("out\\report.txt", "earlier\r\n");
  std::vector<std::string> err;
  for (std::string line : GetParam().Err) {
    if (const auto at = line.find("quillet"); at != std::string::npos) line.replace(at, 7, ProgramName());
    err.push_back(line);
  }
  ExpectFailure(Run(GetParam().Args), Shown(GetParam().Message), err);
  EXPECT_EQ(Read("out\\report.txt"), "earlier\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, Failures,
    ::testing::Values(
        TFailureCase{"NoPerson", {"/DATE=.ge-7", "/AUTHOR=dev1", "/INPUT=in\\cvs.log", "/OUTPUT=out\\report.txt"},
                     "The person has to be declared! (Use switch PERSON)", {TryHelp}},
        TFailureCase{"NoInputNoOutput", {"/DATE=.ge-7", "/AUTHOR=dev1", "/PERSON=me"},
                     "The file for reading the comments has to be declared! (Use switch INPUT)", {TryHelp}},
        TFailureCase{"NoOutput", {"/DATE=.ge-7", "/PERSON=me", "/INPUT=in\\cvs.log"},
                     "The file for storing the CVS comments has to be declared! (Use switch OUTPUT)", {TryHelp}},
        TFailureCase{"EmptyInput", SampleArgs({"/INPUT=in\\empty.log"}),
                     "The file in\\empty.log holds no cvs log or rlog output!"},
        TFailureCase{"FailedCvsAsInput", SampleArgs({"/INPUT=in\\aborted.log"}),
                     "The file in\\aborted.log holds no cvs log or rlog output!"}),
    CaseName<TFailureCase>);

// Two pictures may differ in their separators alone.
std::string NumberedPictureName(const ::testing::TestParamInfo<const char*>& picture) {
  return PictureName(picture) + std::to_string(picture.index);
}

// An INI file that /WRITEINI=all wrote is read back by every later run, in
// every short date format, as the day of that run.
class ExportedDateDefault : public QuilletEndToEnd, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExportedDateDefault, ReadsBackAsTheDayOfTheRun) {
  SetShortDate(GetParam());
  const TArchiveFile today{"proj/today.c", {{"1.1", IsoDate(LocalDate()), "dev1", "Made today."}}};
  Write("in\\cvs.log", CvsLog({today}));
  ASSERT_EQ(Run({"/WRITEINI=all"}).ExitCode, 0);
  ExpectSuccess(Run(SampleArgs({})));
  if (DayChanged()) GTEST_SKIP() << "the day changed while the test ran";
  ExpectForRunDay(Read("out\\report.txt"),
                  [&](const TDate& day) { return Header("tester", day) + CrLf(ReportLines(today, 0)) + "\r\n"; });
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, ExportedDateDefault,
                         ::testing::Values("M/d/yyyy", "dd.MM.yyyy", "yyyy-MM-dd", "yyyy. MM. dd."),
                         NumberedPictureName);

TEST_F(QuilletEndToEnd, AFirstRunWithoutArgumentsLearnsWhereTheSwitchesAreListed) {
  // No switch from anywhere: nothing on the command line, no registry values,
  // and no INI file beside the program.
  PrepareRegistry();
  if (fs::exists(fs::path(Program().Program()).replace_extension(".ini")))
    GTEST_SKIP() << "an INI file lies beside the program";
  TChild child = StartProcess(Program().Command({}), FDir, Environment());
  ExpectFailure(FinishProcess(child), "The file for reading the comments has to be declared! (Use switch INPUT)",
                {TryHelp()});
}

TEST_F(QuilletEndToEnd, MissingInputFileIsReportedInGerman) {
  Write("out\\report.txt", "earlier\r\n");
  ExpectFailure(Run(SampleArgs({"/DATE=.ge-7", "/INPUT=in\\missing.log"})),
                "Datei " + Shown("in\\missing.log") + " kann nicht ge" + OUmlaut() + "ffnet werden");
  EXPECT_EQ(Read("out\\report.txt"), "earlier\r\n");
}

TEST_F(QuilletEndToEnd, OutputInMissingFolderIsReportedInGerman) {
  Write("in\\cvs.log", SampleLog);
  ExpectFailure(Run(SampleArgs({"/DATE=.ge10.05.2003", "/OUTPUT=nowhere\\report.txt"})),
                "Datei " + Shown("nowhere\\report.txt") + " kann nicht erstellt werden");
  EXPECT_FALSE(Exists("nowhere"));
}

// ---------------------------------------------------------------------------
// Real logs printed by cvs and rlog

/// The archive files a report names, read back from its tree: directory lines
/// end with "/", a file line stands at the depth of its directories, and the
/// copied log lines stand deeper than the file line they follow.
std::vector<std::string> ReportedFiles(const std::string& report) {
  std::vector<std::string> lines = SplitCrLf(report), files, dirs;
  std::size_t i = !lines.empty() && lines[0].starts_with("User: ") ? 3 : 0;
  int fileDepth = -1;  // depth of the last file line; -1 inside directory lines
  for (; i < lines.size() && !lines[i].empty(); ++i) {
    const std::string& line = lines[i];
    const std::size_t blanks = line.find_first_not_of(' ');
    if (fileDepth >= 0 && blanks >= 4 * static_cast<std::size_t>(fileDepth + 1)) continue;
    const std::size_t depth = blanks / 4;
    if (blanks % 4 != 0 || depth > dirs.size()) {
      ADD_FAILURE() << "misplaced tree line " << i + 1 << ": " << line;
      break;
    }
    dirs.resize(depth);
    const std::string name = line.substr(blanks);
    if (name.ends_with("/")) {
      dirs.push_back(name);
      fileDepth = -1;
    } else {
      std::string path;
      for (const auto& d : dirs) path += d;
      files.push_back(path + name);
      fileDepth = static_cast<int>(depth);
    }
  }
  return files;
}

struct TRealLogCase {
  const char* Name;
  const char* Log;
  const char* Author;  // empty: no AUTHOR switch
  const char* Date;
  std::set<std::string> Files;
};

void PrintTo(const TRealLogCase& c, std::ostream* os) { *os << c.Name; }

class RealLogs : public QuilletEndToEnd, public ::testing::WithParamInterface<TRealLogCase> {};

TEST_P(RealLogs, ReportNamesTheFilesWithAMatchingRevision) {
  const TRealLogCase& c = GetParam();
  const fs::path log = fs::path(QUILLET_SOURCE_DIR) / "test" / "data" / "logs" / c.Log;
  ASSERT_TRUE(fs::exists(log)) << log;
  Write("in\\cvs.log", ReadFile(log));
  std::vector<std::string> args = {std::string("/DATE=") + c.Date, "/PERSON=tester", "/INPUT=in\\cvs.log",
                                   "/OUTPUT=report.txt"};
  if (*c.Author) args.push_back(std::string("/AUTHOR=") + c.Author);
  ExpectSuccess(Run(args));
  const std::string report = Read("report.txt");
  const auto files = ReportedFiles(report);
  EXPECT_EQ(std::set<std::string>(files.begin(), files.end()), c.Files);
  EXPECT_EQ(files.size(), c.Files.size()) << "a file is reported twice";
  if (c.Files.empty()) {
    EXPECT_EQ(report, "\r\n");
  } else {
    ExpectForRunDay(report.substr(0, report.find("\r\n\r\n") + 4),
                    [&](const TDate& day) { return Header("tester", day); });
    EXPECT_TRUE(report.ends_with("\r\n\r\n"));
  }
}

const char* const Whole = "01-cvs-log-whole-repository.txt";

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, RealLogs,
    ::testing::Values(
        TRealLogCase{"Dev1SinceNov30",
                     Whole,
                     "dev1",
                     ".ge30.11.2026",
                     {"README.repo", "libkit/README", "proj/README", "proj/include/util.h", "proj/src/main.c"}},
        TRealLogCase{"AliceAtticLeftOut", Whole, "alice", ".ge07.11.2026", {"libkit/src/util.c"}},
        TRealLogCase{"AuthorInOtherCase", Whole, "qat", ".eq01.03.2004", {"proj/src/util.c"}},
        TRealLogCase{"UpToEndOf2002", Whole, "dev2", ".le31.12.2002", {"proj/legacy/units.h"}},
        TRealLogCase{"PrefixOfALoginIsNoAuthor", Whole, "dev", ".ge01.01.2000", {}},
        TRealLogCase{"EveryAuthorOnOneDay", Whole, "", ".eq07.12.2026", {"libkit/src/net.c", "proj/src/main.c"}},
        TRealLogCase{"SubfolderWithStderr",
                     "02-cvs-log-subfolder-with-stderr.txt",
                     "dev11",
                     ".ge01.01.2004",
                     {"proj/README", "proj/legacy/calc.c", "proj/src/parser.c"}},
        TRealLogCase{"RlogSlashDates",
                     "03-rlog-repository-files.txt",
                     "kbauer",
                     ".gt31.12.2003",
                     {"libkit/src/net.c", "proj/doc/icons/logo.png", "proj/doc/icons/toolbar.png",
                      "proj/src/config.c", "proj/doc/User Guide.txt"}},
        TRealLogCase{"DataRootBerlinTime", "04-cvs-rlog-two-modules-berlin.txt", "dev2", ".ge04.12.2026",
                     {"modA/README", "modB/README"}},
        TRealLogCase{"CrLfLineEnds", "06-cvs-log-modA-crlf.txt", "alice", ".eq07.12.2026", {"modA/doc/index.txt"}},
        TRealLogCase{"PlainRcsProject", "08-rlog-rcs-project.txt", "dev1", ".ge29.11.2026",
                     {"RCS/Makefile", "RCS/calc.c"}}),
    CaseName<TRealLogCase>);

// ---------------------------------------------------------------------------
// At home on POSIX: the version, POSIX paths in values, dates in the C locale

TEST_F(QuilletEndToEnd, VersionIsPrintedWithExitCodeZero) {
  // Whatever else the command line holds: nothing is read, nothing written.
  const TRunResult r = Run({"--version", "/INPUT=in\\missing.log"});
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Out, std::string(Wine() ? "Quillet " : "quillet ") + QUILLET_VERSION + ConsoleLineEnd());
  ExpectQuietStderr(r);
}

TEST_F(QuilletEndToEnd, PosixPathsInValues) {
  if (Wine()) GTEST_SKIP() << "the Windows program takes Windows paths";
  Write("in\\cvs.log", SampleLog);
  ExpectSuccess(Run({"/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/PERSON=tester", "/INPUT=" + At("in\\cvs.log").string(),
                     "/OUTPUT=out/report.txt"}));
  // An INI value is taken whole, as the registry's: a POSIX path is not cut at its first "/".
  SetIni({"[PARAMETERS]", "INPUT=" + At("in\\cvs.log").string(), "OUTPUT=" + At("out\\ini.txt").string()});
  ExpectSuccess(Run({"/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/PERSON=tester"}));
  for (const char* report : {"out\\report.txt", "out\\ini.txt"})
    ExpectForRunDay(Read(report),
                    [&](const TDate& day) { return Header("tester", day) + CrLf(SampleReportBody) + "\r\n"; });
}

TEST_F(QuilletEndToEnd, CLocaleReadsAndWritesIsoDates) {
  if (Wine()) GTEST_SKIP() << "Windows always has a regional setting";
  SetShortDate("");  // no sShortDate of the user's own
  FExtraEnvironment = {{"LC_ALL", "C"}};
  Write("in\\cvs.log", SampleLog);
  ExpectSuccess(Run(SampleArgs({"/DATE=.ge2003-05-10"})));
  ExpectForRunDay(Read("out\\report.txt"), [&](const TDate& day) {
    return CrLf({"User: tester", "Datum: " + FormatDate(day, "yyyy-MM-dd"), ""}) + CrLf(SampleReportBody) + "\r\n";
  });
}

}  // namespace

namespace {
TEST_F(QuilletEndToEnd, LargeLogScannedInPartsGivesTheReportOfOneScan) {
  // A large log, whose folders run across the places where the engine would
  // cut it into parts (the engine's tests force such cuts): every folder is
  // written once.
  std::vector<TArchiveFile> files;
  std::vector<std::string> body;
  const std::string message = "A commit message long enough to make the log large " + std::string(300, '.');
  std::string lastFolder;
  for (int i = 0; i < 24000; ++i) {
    const std::string folder = "proj/dir" + std::to_string(i / 500) + "/";
    TArchiveFile f{folder + "file" + std::to_string(i) + ".c",
                   {{"1.2", "2003/05/12", i % 3 == 0 ? "dev1" : "dev2", message},
                    {"1.1", "2003/05/01", "dev1", message}}};
    if (i % 3 == 0) {
      const std::vector<std::string> lines = ReportLines(f, 0, lastFolder.empty() ? 0 : folder == lastFolder ? 2 : 1);
      body.insert(body.end(), lines.begin(), lines.end());
      lastFolder = folder;
    }
    files.push_back(std::move(f));
  }
  const std::string log = CvsLog(files);
  ASSERT_GT(log.size(), 9u << 20);
  Write("in\\cvs.log", log);
  ExpectSuccess(Run(SampleArgs({"/DATE=.ge10.05.2003"})));
  ExpectForRunDay(Read("out\\report.txt"),
                  [&](const TDate& day) { return Header("tester", day) + CrLf(body) + "\r\n"; });
}
}  // namespace
