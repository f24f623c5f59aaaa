// End-to-end: where the switches come from (registry, INI file, command
// line, macros), the switch overview and the export.
#include "test/e2e/uEndToEnd.h"

using namespace e2e;

namespace {
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

}  // namespace
