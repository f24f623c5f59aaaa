// End-to-end tests of the main job, switch sources, exports and resilience;
// the harness is in uEndToEnd.h.
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
                                           TRelativeCase{"AfterToday", ".gt-0", {}}),
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

// Pipes: "-" is standard input or standard output.

TEST_F(QuilletEndToEnd, PipeInAndOutGivesTheReportAloneAndLeavesNoFile) {
  Write("in\\cvs.log", SampleLog);
  Write("in\\aborted.log", "cvs [log aborted]: connect to cvs.invalid:2401 failed\n");
  FStdin = "in\\cvs.log";
  const TRunResult r = Run({"/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/PERSON=tester", "/INPUT=-", "/OUTPUT=-"});
  EXPECT_EQ(r.ExitCode, 0);
  ExpectQuietStderr(r);
  ExpectForRunDay(r.Out, [&](const TDate& day) { return Header("tester", day) + CrLf(SampleReportBody) + "\r\n"; });
  EXPECT_TRUE(fs::is_empty(At("out")));  // no lock, no temporary file

  // A failed cvs in the pipe: the report file stays as it was.
  FStdin = "in\\aborted.log";
  Write("out\\report.txt", "earlier\r\n");
  ExpectFailure(Run(SampleArgs({"/DATE=.ge10.05.2003", "/INPUT=-"})),
                "The file - (standard input) holds no cvs log or rlog output!");
  EXPECT_EQ(Read("out\\report.txt"), "earlier\r\n");
}

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

TEST_F(QuilletEndToEnd, NonStringRegistryValueEndsTheStartWithExitCodeOne) {
  Write("in\\cvs.log", SampleLog);
  SetRegistryRaw("PARAMETERS", "\"REGOFF\"=dword:00000001");
  const TRunResult r = Run(SampleArgs({"/DATE=.ge10.05.2003"}));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(Count(r.Out, ConsoleLineEnd()), 1u) << r.Out;
  EXPECT_TRUE(r.Out.ends_with(ConsoleLineEnd())) << r.Out;
  EXPECT_NE(r.Out.find("Datentyp"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("REGOFF"), std::string::npos) << r.Out;
  EXPECT_FALSE(Exists("out\\report.txt"));
}

// ---------------------------------------------------------------------------
// Where the switches come from: registry, INI file, command line, macros

struct TSourceCase {
  const char* Name;
  std::map<std::string, std::string> Registry, RegistryMacros;  // switch -> value
  std::vector<std::string> Ini;                                 // INI lines
  std::vector<std::string> CommandLine;
  const char* Person;  // the person the report names
  bool Utf16RegistryInTheCLocale = false;  // native: the registry file in UTF-16, the run under LC_ALL=C
};

void PrintTo(const TSourceCase& c, std::ostream* os) { *os << c.Name; }

class SwitchSources : public QuilletEndToEnd, public ::testing::WithParamInterface<TSourceCase> {};

TEST_P(SwitchSources, ReportComesFromTheWinningValues) {
  const TSourceCase& c = GetParam();
  Write("logs\\in\\cvs.log", SampleLog);
  if (c.Utf16RegistryInTheCLocale) {
    if (Wine()) GTEST_SKIP() << "the Windows program reads the real registry";
    FExtraEnvironment = {{"LC_ALL", "C"}};
    FRegistryUtf16 = true;
    Write("logs\\Pr\xC3\xBC" "fung\\cvs.log", SampleLog);
  }
  for (const auto& [name, value] : c.Registry) SetRegistry("PARAMETERS", name, value);
  for (const auto& [name, value] : c.RegistryMacros) SetRegistry("MACROS", name, value);
  if (!c.Ini.empty()) SetIni(c.Ini);
  ExpectSuccess(Run(c.CommandLine));
  ExpectForRunDay(Read("out\\report.txt"),
                  [&](const TDate& day) { return Header(c.Person, day) + CrLf(SampleReportBody) + "\r\n"; });
}

const std::map<std::string, std::string> AllInRegistry = {{"DATE", ".ge10.05.2003"},
                                                           {"AUTHOR", "dev1"},
                                                           {"PERSON", "fromregistry"},
                                                           {"INPUT", "logs\\in\\cvs.log"},
                                                           {"OUTPUT", "out\\report.txt"}};
const std::vector<std::string> AllInIni = {"[PARAMETERS]",          "DATE=.ge10.05.2003",
                                            "AUTHOR=dev1",           "PERSON=fromini",
                                            "INPUT=logs\\in\\cvs.log", "OUTPUT=out\\report.txt"};

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, SwitchSources,
    ::testing::Values(
        TSourceCase{"AllFromRegistry", AllInRegistry, {}, {}, {}, "fromregistry"},
        TSourceCase{"AllFromIni", {}, {}, AllInIni, {}, "fromini"},
        TSourceCase{"Utf16RegistryWithUmlautsInTheCLocale",
                    {{"DATE", ".ge10.05.2003"}, {"AUTHOR", "dev1"}, {"PERSON", "fromregistry"},
                     {"INPUT", "logs\\Pr\xC3\xBC" "fung\\cvs.log"}, {"OUTPUT", "out\\report.txt"}},
                    {}, {}, {}, "fromregistry", true},
        TSourceCase{"IniWinsOverRegistry", AllInRegistry, {}, {"[PARAMETERS]", "PERSON=fromini"}, {}, "fromini"},
        TSourceCase{"CommandLineWinsOverBoth", AllInRegistry, {}, AllInIni, {"/PERSON=fromcmd"}, "fromcmd"},
        TSourceCase{"EmptyValueDoesNotWin", AllInRegistry, {}, {"[PARAMETERS]", "PERSON="}, {"/PERSON="},
                    "fromregistry"},
        TSourceCase{"SameValueTwiceIsOneValue", {}, {}, AllInIni, {"/PERSON=same", "/PERSON=same"}, "same"},
        TSourceCase{"RegistryOffLeavesIniAndCommandLine",
                    AllInRegistry, {}, {"[PARAMETERS]", "PERSON=fromini"},
                    {"/REGOFF+", "/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/INPUT=logs\\in\\cvs.log", "/OUTPUT=out\\report.txt"},
                    "fromini"},
        TSourceCase{"MacroOnTheCommandLine", {}, {}, {},
                    {"/[MACROS].LOGDIR=logs\\in", "/INPUT=%LOGDIR%\\cvs.log", "/DATE=.ge10.05.2003", "/AUTHOR=dev1",
                     "/PERSON=macro", "/OUTPUT=out\\report.txt"},
                    "macro"},
        TSourceCase{"MacroInTheIniFile", {}, {}, {"[MACROS]", "LOGDIR=logs\\in"},
                    {"/INPUT=%LOGDIR%\\cvs.log", "/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/PERSON=macro",
                     "/OUTPUT=out\\report.txt"},
                    "macro"},
        TSourceCase{"NestedMacrosInTheRegistry", {{"INPUT", "%LOGDIR%\\cvs.log"}},
                    {{"LOGDIR", "%BASE%\\in"}, {"BASE", "logs"}, {"WHO", "macro"}},
                    {"[PARAMETERS]", "PERSON=%WHO%"},
                    {"/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/OUTPUT=out\\report.txt"},
                    "macro"}),
    CaseName<TSourceCase>);

// ---------------------------------------------------------------------------
// Several runs at once on the same output file

TEST_F(QuilletEndToEnd, ConcurrentRunsKeepEveryReport) {
  const int runs = 6;
  Write("in\\cvs.log", SampleLog);
  std::vector<std::vector<std::string>> commands;
  for (int i = 0; i < runs; ++i)
    commands.push_back({"/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/PERSON=p" + std::to_string(i),
                        "/INPUT=in\\cvs.log", "/OUTPUT=out\\report.txt"});
  Write("out\\report.txt", "earliest\r\n");
  for (const auto& r : RunConcurrently(commands)) ExpectSuccess(r);
  const std::string all = Read("out\\report.txt");
  EXPECT_EQ(Count(all, "User: "), static_cast<std::size_t>(runs));
  for (int i = 0; i < runs; ++i) EXPECT_EQ(Count(all, "User: p" + std::to_string(i) + "\r\n"), 1u) << i;
  // Every report is whole: the file is the reports one after the other.
  const std::size_t one = (Header("p0", LocalDate()) + CrLf(SampleReportBody) + "\r\n").size();
  EXPECT_EQ(all.size(), runs * one + std::string("earliest\r\n").size());
  EXPECT_TRUE(all.ends_with("\r\nearliest\r\n"));
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

// ---------------------------------------------------------------------------
// Switch overview and export: /?, WRITEINI, WRITEREG end the program before
// the filter runs

const char* const OverviewStart = "List of registered switches\n/";
const std::vector<std::string> ExportedNames = {"REGOFF",   "INIOFF",   "CMDOFF",     "REGPATH", "INIPATH",
                                                 "INIFILE",  "WRITEINI", "WRITEREG",   "SHOWHIDDEN", "DATE",
                                                 "PERSON",   "AUTHOR",   "INPUT",      "OUTPUT",  "ROOT",
                                                 "LOCKWAIT"};

/// The entries of one section of an INI text, in file order.
std::vector<std::pair<std::string, std::string>> IniSection(const std::string& text, const std::string& section) {
  std::vector<std::pair<std::string, std::string>> entries;
  bool inside = false;
  for (const std::string& line : SplitCrLf(text)) {
    if (!line.empty() && line[0] == '[') {
      inside = line == "[" + section + "]";
    } else if (inside && line.find('=') != std::string::npos) {
      entries.emplace_back(line.substr(0, line.find('=')), line.substr(line.find('=') + 1));
    }
  }
  return entries;
}

class SwitchExport : public QuilletEndToEnd {
protected:
  // An export changes the program's keys under wine: the next test imports its own again.
  void TearDown() override {
    Program().ForgetWineRegistry();
    QuilletEndToEnd::TearDown();
  }
  /// A run on the registry as the previous run left it.
  TRunResult RunAgain(const std::vector<std::string>& args) {
    TChild child = StartProcess(Program().Command(WithIniSwitches(args)), FDir, Environment());
    return FinishProcess(child);
  }
  std::vector<std::string> Names(const std::vector<std::pair<std::string, std::string>>& entries) const {
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.first);
    return names;
  }
};

enum class TBlocker { None, FolderIsAFile, IniIsAFolder };

struct TStartupCase {
  const char* Name;
  std::vector<std::string> Args;
  TBlocker Blocker;
  const char* Ini;            // conf\e2e.ini before the run, or nullptr
  const char* RegistryWriteIni;  // WRITEINI in the registry, or nullptr
  int ExitCode;
  bool Overview, FilterRuns;
  std::size_t IniEntries;     // PARAMETERS entries of conf\e2e.ini afterwards
  std::string Error;          // the error box's message (standard error without a window)
};

void PrintTo(const TStartupCase& c, std::ostream* os) { *os << c.Name; }

class StartupSwitches : public SwitchExport, public ::testing::WithParamInterface<TStartupCase> {};

TEST_P(StartupSwitches, AtMostOneActsAndTheProgramEnds) {
  const TStartupCase& c = GetParam();
  Write("in\\cvs.log", SampleLog);
  if (c.Ini) Write("conf\\e2e.ini", c.Ini);
  if (c.RegistryWriteIni) SetRegistry("PARAMETERS", "WRITEINI", c.RegistryWriteIni);
  if (c.Blocker == TBlocker::FolderIsAFile) Write("conf", "a file");
  if (c.Blocker == TBlocker::IniIsAFolder) fs::create_directories(At("conf\\e2e.ini"));
  const TRunResult r = Run(SampleArgs(c.Args));
  EXPECT_EQ(r.ExitCode, c.ExitCode) << r.Out << r.Err;
  if (c.Overview) {
    std::string out = r.Out;  // CR LF under wine, LF on POSIX
    std::erase(out, '\r');
    EXPECT_NE(out.find(OverviewStart), std::string::npos) << r.Out;
  }
  else
    EXPECT_EQ(r.Out, "");
  EXPECT_EQ(Exists("out\\report.txt"), c.FilterRuns);
  if (!c.Error.empty()) {
    EXPECT_NE(r.Err.find(c.Error), std::string::npos) << r.Err;
  } else {
    EXPECT_EQ(IniSection(Read("conf\\e2e.ini"), "PARAMETERS").size(), c.IniEntries);
    EXPECT_EQ(fs::is_directory(At("conf")), !c.Overview);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, StartupSwitches,
    ::testing::Values(
        TStartupCase{"HelpBeforeWriteIni", {"/?", "/WRITEINI=all"}, TBlocker::None, nullptr, nullptr, 0, true, false, 0, ""},
        TStartupCase{"HelpWithAValue", {"/?=xyz"}, TBlocker::None, nullptr, nullptr, 0, true, false, 0, ""},
        TStartupCase{"HelpOptionBeforeWriteIni", {"--help", "/WRITEINI=all"}, TBlocker::None, nullptr, nullptr, 0,
                     true, false, 0, ""},
        TStartupCase{"ShortHelpOption", {"-h"}, TBlocker::None, nullptr, nullptr, 0, true, false, 0, ""},
        TStartupCase{"WriteIniAll", {"/WRITEINI=all"}, TBlocker::None, nullptr, nullptr, 0, false, false, 16, ""},
        TStartupCase{"WriteIniSection", {"/WRITEINI=[Parameters]"}, TBlocker::None, nullptr, nullptr, 0, false, false,
                     16, ""},
        TStartupCase{"WriteIniBeforeWriteReg", {"/WRITEREG=all", "/WRITEINI=parameters"}, TBlocker::None, nullptr,
                     nullptr, 0, false, false, 16, ""},
        TStartupCase{"NoDefaultValueRunsTheFilter", {"/DATE=.ge10.05.2003"}, TBlocker::None,
                     "[PARAMETERS]\r\nWRITEINI=no default value\r\nWRITEREG=no default value\r\n", nullptr, 0,
                     false, true, 2, ""},
        TStartupCase{"IniFolderCannotBeMade", {"/WRITEINI=all"}, TBlocker::FolderIsAFile, nullptr, nullptr, 1, false,
                     false, 0, "Der Pfad conf\\ kann nicht angelegt werden!"},
        TStartupCase{"IniFileCannotBeWritten", {"/WRITEINI=all"}, TBlocker::IniIsAFolder, nullptr, nullptr, 1, false,
                     false, 0, "In conf\\e2e.ini kann nicht geschrieben werden"}),
    CaseName<TStartupCase>);

TEST_F(SwitchExport, IniRoundTripKeepsTheRestOfTheFile) {
  Write("in\\cvs.log", SampleLog);
  // A value the user set is kept: the export adds only what is missing.
  const std::string before = "; settings\r\n[OTHER]\r\nX=1\r\n[PARAMETERS]\r\nKEEP=me\r\nPERSON=Build team\r\n";
  Write("conf\\e2e.ini", before);
  const TRunResult exported = Run({"/WRITEINI=all"});
  EXPECT_EQ(exported.ExitCode, 0);
  ExpectStderr(exported, {Warning("kept 1 value(s) already set in " + Shown("conf\\e2e.ini"))});
  const std::string ini = Read("conf\\e2e.ini");
  EXPECT_EQ(ini.rfind(before, 0), 0u) << ini;
  const auto entries = IniSection(ini, "PARAMETERS");
  std::vector<std::string> names = {"KEEP"};
  names.insert(names.end(), ExportedNames.begin(), ExportedNames.end());
  std::erase(names, "PERSON");
  names.insert(names.begin() + 1, "PERSON");
  EXPECT_EQ(Names(entries), names);
  std::map<std::string, std::string> values(entries.begin(), entries.end());
  EXPECT_EQ(values["REGOFF"], "-");
  EXPECT_EQ(values["WRITEINI"], "no default value");
  EXPECT_EQ(values["SHOWHIDDEN"], "off");
  EXPECT_EQ(values["PERSON"], "Build team");
  // Today, whenever the file is read.
  EXPECT_EQ(values["DATE"], ".eq-0");
  // The next run reads WRITEINI "no default value" back: no export, the filter runs.
  ExpectSuccess(RunAgain(SampleArgs({"/DATE=.ge10.05.2003"})));
  EXPECT_EQ(Read("conf\\e2e.ini"), ini);
  EXPECT_TRUE(Exists("out\\report.txt"));
}

TEST_F(SwitchExport, RegistryRoundTripKeepsEveryOtherValue) {
  Write("in\\cvs.log", SampleLog);
  SetRegistry("PARAMETERS", "KEEP", "me");
  SetRegistry("MACROS", "OTHER", "value");
  SetRegistry("PARAMETERS", "PERSON", "Build team");
  const TRunResult exported = Run({"/WRITEREG=all"});
  EXPECT_EQ(exported.ExitCode, 0);
  ExpectStderr(exported, {Warning("kept 1 value(s) already set in HKEY_CURRENT_USER\\Software\\ORVEK\\" +
                                  ProgramName() + "\\PARAMETERS")});
  std::string registry;
  if (Wine()) {
    registry = Program().RunWineTool({"reg", "query", "HKCU\\Software\\ORVEK\\Quillet", "/s"}, FDir).Out;
  } else {
    registry = Read("hkcu.reg");
  }
  for (const std::string& name : ExportedNames) EXPECT_NE(registry.find(name), std::string::npos) << name;
  for (const char* kept : {"KEEP", "OTHER"}) EXPECT_NE(registry.find(kept), std::string::npos) << kept;
  if (!Wine()) {
    EXPECT_NE(registry.find("sShortDate"), std::string::npos);
  }
  EXPECT_EQ(Count(registry, "no default value"), 5u) << registry;
  EXPECT_NE(registry.find("Build team"), std::string::npos) << registry;
  ExpectSuccess(RunAgain(SampleArgs({"/DATE=.ge10.05.2003"})));
  EXPECT_TRUE(Exists("out\\report.txt"));
}

TEST_F(SwitchExport, ConcurrentRegistryExportsLoseNoValue) {
  if (Wine()) GTEST_SKIP() << "the registry file is the POSIX program's own";
  // Each run replaces the whole registry file; they must wait for each other.
  const int runs = 8;
  std::vector<std::vector<std::string>> commands;
  for (int i = 0; i < runs; ++i)
    commands.push_back({"/REGPATH=\\Software\\ORVEK\\Run" + std::to_string(i), "/WRITEREG=all"});
  for (const auto& r : RunConcurrently(commands)) ExpectSuccess(r);
  const std::string registry = Read("hkcu.reg");
  for (int i = 0; i < runs; ++i)
    EXPECT_EQ(Count(registry, "\\Run" + std::to_string(i) + "\\PARAMETERS]"), 1u) << i;
  EXPECT_EQ(Count(registry, "\"WRITEREG\"=\"no default value\""), static_cast<std::size_t>(runs)) << registry;
}

// ---------------------------------------------------------------------------
// Nothing lost, whatever happens: outputs through links and devices, leftovers
// of killed runs, resource limits, runaway macros, failures of any kind

class Resilience : public QuilletEndToEnd {
protected:
  /// Runs `prefix` (a program that execs the rest of its arguments) with the program's command.
  TRunResult RunWrapped(std::vector<std::string> prefix, const std::vector<std::string>& args) {
    PrepareRegistry();
    const std::vector<std::string> command = Program().Command(WithIniSwitches(args));
    prefix.insert(prefix.end(), command.begin(), command.end());
    TChild child = StartProcess(prefix, FDir, Environment());
    return FinishProcess(child);
  }
  /// Runs the native program under a shell's `limits` (ulimit options).
  TRunResult RunLimited(const std::string& limits, const std::vector<std::string>& args) {
    return RunWrapped({"/bin/sh", "-c", "ulimit " + limits + " && exec \"$0\" \"$@\""}, args);
  }
};

TEST_F(Resilience, RunsThroughALinkAndOnItsTargetKeepEveryReport) {
  Write("in\\cvs.log", SampleLog);
  Write("out\\report.txt", "earliest\r\n");
  fs::create_symlink("report.txt", At("out\\link.txt"));
  std::vector<std::vector<std::string>> commands;
  for (int i = 0; i < 16; ++i)
    commands.push_back({"/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/PERSON=p" + std::to_string(i), "/INPUT=in\\cvs.log",
                        i % 2 ? "/OUTPUT=out\\link.txt" : "/OUTPUT=out\\report.txt"});
  const std::vector<TRunResult> results = RunConcurrently(commands);
  for (std::size_t i = 0; i < results.size(); ++i) {
    // Wine shows a POSIX link as the file it leads to: the Windows build
    // cannot tell the link's owner, and so does not follow it.
    if (Wine() && i % 2)
      ExpectFailure(results[i], "Datei out\\link.txt kann nicht erstellt werden");
    else
      ExpectSuccess(results[i]);
  }
  const std::string all = Read("out\\report.txt");
  EXPECT_EQ(Count(all, "User: "), Wine() ? 8u : 16u);
  EXPECT_TRUE(all.ends_with("\r\nearliest\r\n"));
  EXPECT_TRUE(fs::is_symlink(At("out\\link.txt")));
}

TEST_F(Resilience, OnlyARegularFileIsReplacedAndADanglingLinkIsWrittenThrough) {
  Write("in\\cvs.log", SampleLog);
  if (Wine()) {
    ExpectFailure(Run(SampleArgs({"/DATE=.ge10.05.2003", "/OUTPUT=NUL"})), "Datei NUL kann nicht erstellt werden");
    return;
  }
  ASSERT_EQ(mkfifo(At("out\\fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", At("out\\devnull"));
  for (const char* name : {"fifo", "devnull"}) {
    ExpectFailure(Run(SampleArgs({"/DATE=.ge10.05.2003", std::string("/OUTPUT=out\\") + name})),
                  "Datei " + Shown("out\\" + std::string(name)) + " kann nicht erstellt werden");
  }
  EXPECT_TRUE(fs::is_fifo(At("out\\fifo")));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  fs::create_symlink("target.txt", At("out\\dangling.txt"));
  ExpectSuccess(Run(SampleArgs({"/DATE=.ge10.05.2003", "/OUTPUT=out\\dangling.txt"})));
  EXPECT_TRUE(fs::is_symlink(At("out\\dangling.txt")));
  EXPECT_EQ(Count(Read("out\\target.txt"), "User: tester"), 1u);
}

TEST_F(Resilience, LeftoversOfKilledRunsGoAndASizeLimitFailsCleanly) {
  Write("in\\cvs.log", SampleLog);
  Write("out\\report.txt.~99999999-3", "left by a killed run");
  ExpectSuccess(Run(SampleArgs({"/DATE=.ge10.05.2003"})));
  EXPECT_FALSE(Exists("out\\report.txt.~99999999-3"));
  if (Wine()) return;
  // Beyond the size limit the write fails like a full disk: the old report stays.
  const std::string earlier(64 * 1024, 'e');
  Write("out\\report.txt", earlier);
  const TRunResult r = RunLimited("-f 16", SampleArgs({"/DATE=.ge10.05.2003"}));
  ExpectFailure(r, "Datei " + Shown("out\\report.txt") + " kann nicht erstellt werden");
  EXPECT_EQ(Read("out\\report.txt"), earlier);
  for (const auto& entry : fs::directory_iterator(At("out")))
    EXPECT_EQ(entry.path().filename(), "report.txt") << "left behind: " << entry.path();
}

TEST_F(Resilience, ALockFileLeftByAnotherUserBlocksNobody) {
  if (Wine() || geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root natively to play a second user";
  Write("in\\cvs.log", SampleLog);
  Write("out\\report.txt.lock", "");  // root's, not writable for the other user
  fs::permissions(FDir, fs::perms::all);
  fs::permissions(At("out"), fs::perms::all);
  ExpectSuccess(RunWrapped({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"},
                           SampleArgs({"/DATE=.ge10.05.2003"})));
  EXPECT_EQ(Count(Read("out\\report.txt"), "User: tester"), 1u);
}

// Holds the lock a run on `output` takes (byte 0 of its lock file, the one
// protocol of both builds) until destroyed.
class THeldLock {
public:
  explicit THeldLock(const fs::path& output) : FPath(output.string() + ".lock") {
    FFd = open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_len = 1;
    EXPECT_EQ(0, fcntl(FFd, F_OFD_SETLKW, &range));
  }
  ~THeldLock() { Release(); }
  /// Waits until a run waits for this lock (Linux shows waiters in /proc/locks).
  bool WaitForWaiter() const {
    struct stat info;
    if (fstat(FFd, &info) != 0) return false;
    const std::string inode = ":" + std::to_string(info.st_ino) + " ";
    for (int i = 0; i < 6000; ++i) {
      std::ifstream locks("/proc/locks");
      for (std::string line; std::getline(locks, line);)
        if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) return true;
      usleep(10000);
    }
    return false;
  }
  void Release() {
    if (FFd < 0) return;
    unlink(FPath.c_str());
    close(FFd);
    FFd = -1;
  }

private:
  std::string FPath;
  int FFd = -1;
};

TEST_F(Resilience, SharedFoldersOtherUsersAndTheOtherBuild) {
  // Each row: a folder set up as another user or a killed run left it, the
  // run (as an unprivileged user where the case needs one), what it must say
  // ("" for success) and what must hold afterwards.
  const bool root = geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0;
  const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  Write("in\\cvs.log", SampleLog);
  Write("secret.txt", "root only\r\n");
  fs::permissions(At("secret.txt"), fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(FDir, fs::perms::all);
  fs::permissions(At("out"), fs::perms::all);
  auto folder = [&](const char* name, fs::perms mode) {
    fs::create_directories(At(name));
    fs::permissions(At(name), mode);
  };
  const std::string longName(250, 'n');
  const struct {
    const char* Name;
    bool AsNobody, NativeOnly, WineOnly;
    std::function<void()> Arrange;
    std::string Output, Failure;
    std::function<void(const TRunResult&)> Check;
  } cases[] = {
      {"output folder nobody may write", true, false, false, [&] { folder("ro", fs::perms(0555)); },
       "ro\\report.txt", "Datei ro\\report.txt kann nicht erstellt werden",
       [&](const TRunResult&) { EXPECT_TRUE(fs::is_empty(At("ro"))); }},
      {"the null device as output", true, true, false, [] {}, "\\dev\\null",
       "Datei \\dev\\null kann nicht erstellt werden", [](const TRunResult&) {}},
      {"another user's lock file in a sticky folder", true, false, false,
       [&] {
         folder("sticky", fs::perms(01777));
         Write("sticky\\report.txt.lock", "");
         fs::permissions(At("sticky\\report.txt.lock"), fs::perms(0600));
       },
       "sticky\\report.txt", "Datei sticky\\report.txt kann nicht erstellt werden",
       [&](const TRunResult& r) {
         EXPECT_NE(r.Err.find("report.txt.lock"), std::string::npos) << r.Err;
         EXPECT_FALSE(Exists("sticky\\report.txt"));
       }},
      {"another user's lock file nobody holds", true, true, false,
       [&] {
         folder("open", fs::perms::all);
         Write("open\\report.txt.lock", "");
         fs::permissions(At("open\\report.txt.lock"), fs::perms(0600));
       },
       "open\\report.txt", "", [&](const TRunResult&) { EXPECT_FALSE(Exists("open\\report.txt.lock")); }},
      {"a link another user planted at the output", false, true, false,
       [&] {
         folder("team", fs::perms(02777));
         fs::create_symlink(At("secret.txt"), At("team\\report.txt"));
         ASSERT_EQ(0, lchown(At("team\\report.txt").c_str(), 65534, 65534));
       },
       "team\\report.txt", "Datei team\\report.txt kann nicht erstellt werden",
       [&](const TRunResult&) {
         EXPECT_EQ("root only\r\n", Read("secret.txt"));
         EXPECT_TRUE(fs::is_symlink(At("team\\report.txt")));
       }},
      {"an output name of 250 bytes", false, true, false, [] {}, longName, "",
       [&](const TRunResult&) { EXPECT_EQ(1u, Count(Read(longName), "User: tester")); }},
      {"leftovers of a killed run that was process 1", false, false, false,
       [&] { Write("out\\report.txt.~1-4", "left behind"); }, "out\\report.txt", "",
       [&](const TRunResult&) { EXPECT_FALSE(Exists("out\\report.txt.~1-4")); }},
      {"the null device as input", false, false, true, [] {}, "out\\nul.txt",
       "Datei NUL kann nicht ge" + OUmlaut() + "ffnet werden", [](const TRunResult&) {}},
      {"a device name with an extension as input", false, false, true, [] {}, "out\\aux.txt",
       "Datei aux.log kann nicht ge" + OUmlaut() + "ffnet werden", [](const TRunResult&) {}},
  };
  // Under wine the other user has a prefix of their own, made at the first need.
  std::vector<std::string> asNobodyHere = asNobody;
  const std::string nobodyPrefix = (FDir / "wine-nobody").string();
  if (Wine()) {
    asNobodyHere.insert(asNobodyHere.end(), {"/usr/bin/env", "HOME=" + nobodyPrefix, "WINEPREFIX=" + nobodyPrefix});
    fs::create_directories(nobodyPrefix);
    if (root) {
      ASSERT_EQ(0, chown(nobodyPrefix.c_str(), 65534, 65534));
    }
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    if ((c.NativeOnly && Wine()) || (c.WineOnly && !Wine()) || ((c.AsNobody || c.NativeOnly) && !root)) continue;
    c.Arrange();
    if (::testing::Test::HasFatalFailure()) return;
    // The other user's prefix has no regional setting: a date that needs none.
    std::vector<std::string> extra = {c.AsNobody ? "/DATE=.ge-7" : "/DATE=.ge10.05.2003", "/OUTPUT=" + c.Output};
    if (c.WineOnly) extra.push_back(c.Output == "out\\nul.txt" ? "/INPUT=NUL" : "/INPUT=aux.log");
    const std::vector<std::string> args = SampleArgs(extra);
    const TRunResult r = c.AsNobody ? RunWrapped(asNobodyHere, args) : Run(args);
    if (c.Failure.empty()) {
      ExpectSuccess(r);
    } else {
      EXPECT_EQ(r.ExitCode, 1);
      EXPECT_EQ(r.Out, Shown(c.Failure) + ConsoleLineEnd());
    }
    c.Check(r);
  }
  if (Wine() && root) {
    std::vector<std::string> stop = asNobodyHere;
    stop.push_back("wineserver");
    stop.push_back("-k");
    TChild child = StartProcess(stop, FDir, {});
    FinishProcess(child);
  }
}

TEST_F(Resilience, ALogRenamedWhileTheRunWaitsForTheLockIsReadWhole) {
  if (Wine()) GTEST_SKIP() << "only a native run's wait shows in /proc/locks";
  Write("in\\cvs.log", SampleLog);
  PrepareRegistry();
  THeldLock lock(At("out\\report.txt"));
  TChild child = StartProcess(Program().Command(WithIniSwitches(SampleArgs({"/DATE=.ge10.05.2003"}))), FDir,
                              Environment());
  ASSERT_TRUE(lock.WaitForWaiter());
  fs::rename(At("in\\cvs.log"), At("in\\old.log"));
  Write("in\\cvs.log", "RCS file: /cvsroot/other/log.c,v\n");
  fs::remove(At("in\\old.log"));
  lock.Release();
  ExpectSuccess(FinishProcess(child));
  EXPECT_EQ(Read("out\\report.txt"), Header("tester", LocalDate()) + CrLf(SampleReportBody) + "\r\n");
}

TEST_F(Resilience, NativeAndWindowsRunsAtOnceKeepEveryReport) {
  if (!Wine()) GTEST_SKIP() << "needs both builds";
  Write("in\\cvs.log", SampleLog);
  Write("out\\report.txt", "earliest\r\n");
  PrepareRegistry();
  WriteFile(FDir / "hkcu.reg", RegistryText());
  std::vector<TChild> children;
  for (int i = 0; i < 8; ++i) {
    std::vector<std::string> args = WithIniSwitches(
        {"/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/PERSON=p" + std::to_string(i), "/INPUT=in\\cvs.log",
         "/OUTPUT=out\\report.txt"});
    if (i % 2 == 0) {
      children.push_back(StartProcess(Program().Command(args), FDir, {}));
    } else {
      args.insert(args.begin(), QUILLET_NATIVE_PROGRAM);
      children.push_back(StartProcess(args, FDir, {{"HKCU_FILE", (FDir / "hkcu.reg").string()}}));
    }
  }
  for (auto& child : children) EXPECT_EQ(FinishProcess(child).ExitCode, 0);
  const std::string all = Read("out\\report.txt");
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Count(all, "User: p" + std::to_string(i) + "\r\n"), 1u) << i;
  EXPECT_TRUE(all.ends_with("\r\nearliest\r\n"));
}

TEST_F(Resilience, MacroThatGrowsWithoutEndStopsNamingTheSwitch) {
  Write("in\\cvs.log", SampleLog);
  ExpectFailure(Run({"/DATE=.ge-7", "/PERSON=%A%", "/[MACROS].A=%A%%A%%A%%A%%A%%A%", "/INPUT=in\\cvs.log",
                     "/OUTPUT=out\\report.txt"}),
                "The macros of switch PERSON expand to more than 64 KiB!");
}

TEST_F(Resilience, TwentyThousandReferencesToAMacroChainExpand) {
  // Each reference used to be searched from the start of the value: over a
  // minute for this one. The registry takes the value whole.
  Write("in\\cvs.log", SampleLog);
  std::string refs;
  for (int i = 0; i < 20000; ++i) refs += "%A%";
  SetRegistry("PARAMETERS", "PERSON", refs);
  SetRegistry("MACROS", "A", "%B%");
  SetRegistry("MACROS", "B", "x");
  ExpectSuccess(Run({"/DATE=.ge10.05.2003", "/INPUT=in\\cvs.log", "/OUTPUT=out\\report.txt"}));
  EXPECT_TRUE(Read("out\\report.txt").starts_with("User: " + std::string(20000, 'x') + "\r\n"));
}

TEST_F(Resilience, MemoryRunningOutWhileReadingSettingsGivesOneLine) {
  if (Wine() || std::getenv("ASAN_OPTIONS")) GTEST_SKIP() << "needs a native program without sanitizers";
  Write("in\\cvs.log", SampleLog);
  Write("out\\report.txt", "earlier\r\n");
  // A registry file larger than the memory the run may have.
  SetRegistryRaw("PARAMETERS", "\"BIG\"=\"" + std::string(96 << 20, 'b') + "\"");
  const TRunResult r = RunLimited("-v 131072", SampleArgs({"/DATE=.ge10.05.2003"}));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(Count(r.Out, ConsoleLineEnd()), 1u) << r.Out;
  EXPECT_EQ(Read("out\\report.txt"), "earlier\r\n");
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
