// Refusals: a slip that would change which report is written ends the run
// with exit code 2 before anything changes. The output file, its folder, the
// INI file and the registry stay byte for byte as they were.
#include "test/e2e/uEndToEnd.h"

using namespace e2e;

namespace {

enum class TBuilds { Both, PosixOnly, WindowsOnly };

struct TRefusalCase {
  const char* Name;
  std::vector<std::string> Args;
  const char* Failure;  // the line on standard output
  std::string Hint;     // the line on standard error, without "quillet: "; {conf}, {title}, {today} replaced
  std::vector<std::string> Ini = {};
  std::map<std::string, std::string> Registry = {};  // PARAMETERS values
  TBuilds Builds = TBuilds::Both;
  const char* Typed = nullptr;  // Windows: the command line as typed in cmd, instead of Args
};

void PrintTo(const TRefusalCase& c, std::ostream* os) { *os << c.Name; }

class Refusals : public QuilletEndToEnd, public ::testing::WithParamInterface<TRefusalCase> {
protected:
  /// Every file below the working folder (but the log) with its bytes, and the program's registry keys.
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(FDir)) {
      const std::string name = fs::relative(entry.path(), FDir).string();
      files[name] = entry.is_regular_file() ? ReadFile(entry.path()) : "(folder)";
    }
    if (Wine()) files["(registry)"] = Program().RunWineTool({"reg", "query", ProgramKey, "/s"}, FDir).Out;
    return files;
  }
  std::string Filled(std::string text) const {
    const std::pair<std::string, std::string> fills[] = {
        {"quillet", ProgramName()},
        {"{conf}", Shown("conf\\")},
        {"{title}", ProgramName()},
        {"{today}", FormatDate(LocalDate(), FShortDate)}};
    for (const auto& [from, to] : fills)
      for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
  }
};

TEST_P(Refusals, ExitCodeTwoAndNothingChanges) {
  const TRefusalCase& c = GetParam();
  if ((c.Builds == TBuilds::PosixOnly && Wine()) || (c.Builds == TBuilds::WindowsOnly && !Wine()))
    GTEST_SKIP() << "a slip of the other platform's command line";
  Write("in\\cvs.log", SampleLog);
  Write("out\\report.txt", "earlier\r\n");
  if (!c.Ini.empty()) SetIni(c.Ini);
  for (const auto& [name, value] : c.Registry) SetRegistry("PARAMETERS", name, value);
  if (c.Typed) WriteTyped(c.Typed);
  PrepareRegistry();
  const auto before = Snapshot();
  const TRunResult r = c.Typed ? RunTyped() : Run(c.Args);
  EXPECT_EQ(r.ExitCode, 2) << r.Out << r.Err;
  EXPECT_EQ(r.Out, std::string(c.Failure) + ConsoleLineEnd());
  ExpectStderr(r, {Filled("quillet: " + c.Hint)});
  EXPECT_EQ(Snapshot(), before);
}

const std::string Listed = " (\"quillet --help\" lists them)";
const std::string DateForms = " is no date condition in the short date format dd.MM.yyyy; forms that work: .ge-7, "
                              ".ge{today}, .ge-7.lt-0";

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, Refusals,
    ::testing::Values(
        // Arguments that no switch takes.
        TRefusalCase{"MisspeltSwitch", SampleArgs({"/DATE=.ge-7", "/AUTHR=dev2"}),
                     "The argument /AUTHR=dev2 is no switch!",
                     "/AUTHR=dev2: no such switch; did you mean /AUTHOR?" + Listed},
        TRefusalCase{"UnknownSwitch", SampleArgs({"/DATUM=.ge-7"}), "The argument /DATUM=.ge-7 is no switch!",
                     "/DATUM=.ge-7: no such switch" + Listed},
        TRefusalCase{"DashBeforeTheSwitches", SampleArgs({"-DATE=.ge-7"}), "The argument -DATE=.ge-7 is no switch!",
                     "-DATE=.ge-7: no such switch; did you mean /DATE?" + Listed},
        TRefusalCase{"DoubleDashAmongTheSwitches", SampleArgs({"/DATE=.ge-7", "--date=x"}),
                     "The argument --date=x is no switch!", "--date=x: no such switch; did you mean /DATE?" + Listed},
        TRefusalCase{"BareWord", SampleArgs({"cvs.log"}), "The argument cvs.log is no switch!",
                     "cvs.log: no such switch" + Listed},
        TRefusalCase{"SectionNobodyReads", SampleArgs({"/[MACROS].M=1", "/[OTHER].X=1"}),
                     "The argument /[OTHER].X=1 is no switch!", "/[OTHER].X=1: no such switch" + Listed},
        // A switch given twice with two values.
        TRefusalCase{"AuthorListWithoutAName", SampleArgs({"/AUTHOR=,"}), "The value of switch /AUTHOR names no author!",
                     "/AUTHOR=, names no login; forms that work: /AUTHOR=dev1, /AUTHOR=dev1,dev2"},
        TRefusalCase{"SwitchTwice", SampleArgs({"/AUTHOR=lena", "/AUTHOR=hwolf"}),
                     "The switch /AUTHOR is given twice with different values!",
                     "/AUTHOR=lena and /AUTHOR=hwolf: give each switch once, with the value you mean"},
        TRefusalCase{"TwoSwitchesInOneArgument", SampleArgs({"/DATE=.ge10.05.2003 /AUTHOR=nobody"}),
                     "The value of switch /DATE holds another switch!",
                     "DATE: the value \".ge10.05.2003 \\AUTHOR=nobody\" holds the switch /AUTHOR; give each switch as "
                     "an argument of its own",
                     {}, {}, TBuilds::PosixOnly},
        // The quote of the next argument glued to a value.
        TRefusalCase{"UnbalancedQuote", SampleArgs({"/AUTHOR=dev2 \""}),
                     "The value of switch /AUTHOR holds an unbalanced double quote!",
                     "AUTHOR: the value \"dev2 \"\" holds an unbalanced double quote; quote after the \"=\": "
                     "/PERSON=\"Team lead\"",
                     {}, {}, TBuilds::PosixOnly},
        TRefusalCase{"QuoteGluedToTheValueBefore", {}, "The value of switch /AUTHOR holds an unbalanced double quote!",
                     "AUTHOR: the value \"dev2 \"\" holds an unbalanced double quote; quote after the \"=\": "
                     "/PERSON=\"Team lead\"",
                     {}, {}, TBuilds::WindowsOnly,
                     "/DATE=.ge-7 /AUTHOR=dev2 \"/PERSON=Team lead\" /INPUT=in\\cvs.log /OUTPUT=out\\report.txt"},
        // The placeholder of an export, from any source.
        TRefusalCase{"PlaceholderInTheIniFile",
                     {"/DATE=.ge-7", "/PERSON=tester", "/INPUT=in\\cvs.log", "/OUTPUT=out\\report.txt"},
                     "The value of switch /AUTHOR is the placeholder of an export!",
                     "AUTHOR: \"no default value\" from the INI file {conf}e2e.ini is the placeholder of an export; "
                     "give a real value",
                     {"[PARAMETERS]", "AUTHOR=no default value"}},
        TRefusalCase{"PlaceholderInTheRegistry",
                     {"/DATE=.ge-7", "/AUTHOR=dev1", "/INPUT=in\\cvs.log", "/OUTPUT=out\\report.txt"},
                     "The value of switch /PERSON is the placeholder of an export!",
                     "PERSON: \"no default value\" from the registry key "
                     "HKEY_CURRENT_USER\\Software\\ORVEK\\{title}\\PARAMETERS is the placeholder of an export; give a "
                     "real value",
                     {}, {{"PERSON", "no default value"}}},
        TRefusalCase{"MacroNotSet", SampleArgs({"/DATE=.ge-7", "/AUTHOR=%USERPROFILE%"}),
                     "The value of switch /AUTHOR names a macro that is not set!",
                     "AUTHOR: macro %USERPROFILE% is not set in MACROS, so the value is empty"},
        // A Windows INI value is cut at its first "/".
        TRefusalCase{"IniValueCutAtASlash",
                     {"/DATE=.ge10.05.2003", "/PERSON=tester", "/INPUT=in\\cvs.log", "/OUTPUT=out\\report.txt"},
                     "The value of switch /AUTHOR in the INI file ends at its first \"/\"!",
                     "AUTHOR=dev1/dev2 in {conf}e2e.ini: an INI value ends at its first \"/\"; write \"\\\" instead: "
                     "AUTHOR=dev1\\dev2",
                     {"[PARAMETERS]", "AUTHOR=dev1/dev2"}, {}, TBuilds::WindowsOnly},
        // DATE: letters that are not exactly one operator, and dates that are none.
        TRefusalCase{"DateWithoutDot", SampleArgs({"/DATE=ge-7"}), "The date operator is not guilty!",
                     "/DATE=ge-7" + DateForms},
        TRefusalCase{"DateNotEqual", SampleArgs({"/DATE=.ne-7"}), "The date operator is not guilty!",
                     "/DATE=.ne-7" + DateForms},
        TRefusalCase{"DateOperatorWithMore", SampleArgs({"/DATE=.gtx-7"}), "The date operator is not guilty!",
                     "/DATE=.gtx-7" + DateForms},
        TRefusalCase{"TwoOperatorsOneDate", SampleArgs({"/DATE=.ge10.05.2003.le"}),
                     "The format of date is unknown!", "/DATE=.ge10.05.2003.le" + DateForms},
        TRefusalCase{"TwoLowerBounds", SampleArgs({"/DATE=.ge-7.gt-3"}), "The date operator is not guilty!",
                     "/DATE=.ge-7.gt-3" + DateForms},
        TRefusalCase{"DateOfLetters", SampleArgs({"/DATE=xyz"}), "The format of date is unknown!",
                     "/DATE=xyz" + DateForms},
        TRefusalCase{"DayThatDoesNotExist", SampleArgs({"/DATE=.ge31.02.2004"}), "The format of date is unknown!",
                     "/DATE=.ge31.02.2004" + DateForms},
        TRefusalCase{"LockWaitThatIsNoNumber", SampleArgs({"/LOCKWAIT=10m"}), "/LOCKWAIT=10m is no number of seconds!",
                     "/LOCKWAIT=10m: whole seconds, such as /LOCKWAIT=600 (ten minutes) or /LOCKWAIT=0 (no end)"},
        // An export whose selector chooses nothing creates nothing.
        TRefusalCase{"ExportSelectorChoosesNothing", {"/WRITEINI=al"}, "/WRITEINI=al chooses no switch to write!",
                     "/WRITEINI=al: it takes all, or a section with or without brackets: [PARAMETERS]"},
        TRefusalCase{"ExportPlaceholderInAnotherCase", {}, "/WRITEREG=No default value chooses no switch to write!",
                     "/WRITEREG=No default value: it takes all, or a section with or without brackets: [PARAMETERS]",
                     {}, {{"WRITEREG", "No default value"}}}),
    CaseName<TRefusalCase>);

}  // namespace
