// The switch overview text of a real start-up, and the export of the switch
// set into the INI file: which switches a selector chooses, and the failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "Bibliothek/Plattform/uOsIni.h"
#include "Bibliothek/Schalter/cProgramSwitchHelp.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uSingleton.h"
#include "app/uQuilletConstants.h"
#include "app/uQuilletEnglishConstants.h"
#include "app/uQuilletRegisterSwitches.h"
#include "test/uFaultyFiles.h"
#include "test/uTestSupport.h"

namespace {

class SwitchExportTest : public ::testing::Test {
protected:
  SwitchExportTest() : FRegistryFile("HKCU_FILE", FTemp.File("hkcu.reg")) {}
  void SetUp() override {
    StartupProgramSwitchConstant();
    uQuilletConstants::StartupQuilletConstants();
    StartupQuilletEnglishConstants();
    StartupSingleton();
    SetTodayForTests(TDate{2026, 12, 7});
    SetShortDatePictureForTests("dd.MM.yyyy");
  }
  void TearDown() override {
    ShutdownProgramSwitch();
    sofProgramSwitch::SetTestProcess(std::nullopt, std::nullopt);
    SetTodayForTests(std::nullopt);
    SetShortDatePictureForTests(std::nullopt);
    ShutdownSingleton();
    ShutdownProgramSwitchConstant();
  }
  /// Starts the switch library and the filter's switches as the program does.
  void StartUp(const std::string& executable, const std::string& switches) {
    sofProgramSwitch::SetTestProcess("\"" + executable + "\" " + switches, executable);
    StartupProgramSwitch();
    ASSERT_TRUE(StartupQuilletRegisterSwitches());
  }
  std::string Separator() const { return FTemp.File("").substr(FTemp.Path().size()); }

  TTempDir FTemp;
  TEnvGuard FRegistryFile;
};

std::string Block(const std::string& key, const std::string& hint, const std::string& description) {
  return key + "\r\n     Opt: " + hint + "\r\n     Description: " + description + "\r\n\r\n";
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

TEST_F(SwitchExportTest, OverviewListsBuiltInSwitchesThenTheFiltersAndHiddenOnesOnlyOnRequest) {
  const std::string folder = FTemp.Path() + Separator();
  const std::string visible =
      Block("/REGOFF=-", "+, -", "This switch switches the readout from the registry in or out.") +
      Block("/INIOFF=-", "+, -", "This switch switches the readout from the Ini file in or out.") +
      Block("/CMDOFF=-", "+, -", "This switch switches the readout from the command line in or out.") +
      Block("/REGPATH=\\Software\\ORVEK\\Quillet\\", "\\Software\\ORVEK", "This switch sets the path of the registry.") +
      Block("/INIPATH=" + folder, "c:\\win", "This switch sets the path of the Ini file.") +
      Block("/INIFILE=Quillet.ini", "win32.ini", "This switch sets the name of the Ini file.") +
      Block("/WRITEINI=no default value", "all, [Parameters], [Resources], ...",
            "This switch activates the writing of the registered switches into the Ini file. The application "
            "terminates immediately afterwards.") +
      Block("/WRITEREG=no default value", "all, [Parameters], [Resources], ...",
            "This switch activates the writing of the registered switches into the registry. The application "
            "terminates immediately afterwards.") +
      Block("/SHOWHIDDEN=off", "on, off",
            "This switch shows or hides the switches, which are registered with the special register method.") +
      Block("/DATE=.eq07.12.2026",
            ".gt (greater than), .ge (greater equal), .eq (equal), .lt (less then), .le (less equal)",
            "This switch manages, for which date the comments have to be filtrated. Specification of this switch "
            "can also be relative.\r\n                                For example: /date=.eq-7, or a range: /date=.ge-7.lt-0") +
      Block("/PERSON=no default value", "KRV, TEW",
            "This switch shows in output file, which person has started Quillet.") +
      Block("/AUTHOR=no default value", "KRV; TEW",
            "This switch contains the name of author, for which the comments have to be filtrated. Several authors: "
            "/author=dev1,dev2") +
      Block("/INPUT=no default value", "c:\\log\\log.txt, - (standard input)",
            "This switch gets the name for filtering file.") +
      Block("/OUTPUT=no default value", "c:\\log\\out.txt, - (standard output, the report alone)",
            "This switch gets the name of file, where the filtering results will be stored.") +
      Block("/ROOT=", "/var/lib/cvs, \\var\\lib\\cvs, C:\\cvsrepo",
            "This switch names the repository root, which the folder tree of the report leaves out. A \"\\\" in "
            "it stands for either separator.") +
      Block("/LOCKWAIT=600", "600 (ten minutes), 0 (no end)",
            "This switch sets how many seconds a run waits for another run on the same output file.");
  const std::string hidden = Block("/SECRET=s", "h", "d");
  const struct {
    std::string Switches, Expected;
  } cases[] = {
      {"/?", visible},
      {"/? /SHOWHIDDEN=Off", visible},
      {"/? /SHOWHIDDEN=on", visible + hidden},
  };
  for (const auto& c : cases) {
    StartUp(FTemp.File("Quillet.exe"), c.Switches);
    ProgramSwitch->RegisterHidden("SECRET", "h", "s", "d");
    EXPECT_EQ(c.Expected, Joined(SwitchOverviewLines())) << c.Switches;
    ShutdownProgramSwitch();
  }
}

TEST_F(SwitchExportTest, TheSelectorChoosesWhatTheIniFileGets) {
  const struct {
    std::string Switches;
    std::map<std::string, std::string> Sections;  // section -> KEY=value,...
  } cases[] = {
      {"/WRITEINI=all", {{"PARAMETERS", "DATE=d,"}, {"MACROS", "FIRST=f,HOME=h,"}}},
      {"/WRITEINI=All /SHOWHIDDEN=on", {{"PARAMETERS", "SECRET=s,DATE=d,"}, {"MACROS", "FIRST=f,HOME=h,"}}},
      {"/WRITEINI=ALL /SHOWHIDDEN=OFF", {{"PARAMETERS", "DATE=d,"}, {"MACROS", "FIRST=f,HOME=h,"}}},
      {"/WRITEINI=parameters", {{"PARAMETERS", "DATE=d,"}}},
      {"/WRITEINI=%SEL% /[MACROS].SEL=[Parameters]", {{"PARAMETERS", "DATE=d,"}}},
      {"/WRITEINI=%SEL% /[MACROS].SEL=[ Parameters ]", {{"PARAMETERS", "DATE=d,"}}},
      // Shortened once per switch: FIRST is compared with [Macros], HOME with Macros.
      {"/WRITEINI=%SEL% /[MACROS].SEL=[[Macros]]", {{"MACROS", "HOME=h,"}}},
      {"/WRITEINI=%SEL% /[MACROS].SEL=[Resources]", {}},
      {"/WRITEINI=No default value", {}},
  };
  for (const auto& c : cases) {
    TTempDir temp;
    const std::string ini = temp.File("conf") + Separator() + "Qexport.ini";
    sofProgramSwitch::SetTestProcess("x " + c.Switches, temp.File("conf") + Separator() + "Qexport.exe");
    sofProgramSwitch* switches = sofProgramSwitch::Create();
    switches->Register("[MACROS].FIRST", "", "f", "");
    switches->Register("DATE", "", "d", "");
    switches->Register("[MACROS].HOME", "", "h", "");
    switches->RegisterHidden("SECRET", "", "s", "");
    switches->WriteIni();
    switches->Release();

    EXPECT_TRUE(std::filesystem::is_directory(temp.File("conf"))) << c.Switches;
    EXPECT_EQ(c.Sections.empty(), !std::filesystem::exists(ini)) << c.Switches;
    for (const char* section : {"PARAMETERS", "MACROS", "RESOURCES"}) {
      std::string entries;
      for (const auto& key : OsIniKeys(ini, section)) entries += key + "=" + OsIniValue(ini, section, key) + ",";
      const auto expected = c.Sections.find(section);
      EXPECT_EQ(expected == c.Sections.end() ? "" : expected->second, entries) << c.Switches << " " << section;
    }
  }
}

TEST_F(SwitchExportTest, ARegistryWriteThatFailsNamesTheValue) {
  // POSIX: a registry file below a plain file; Win32: a key name longer than the registry takes.
  const std::string blocker = FTemp.File("file");
  WriteBytes(blocker, "a file where a folder should be");
  TEnvGuard registryFile("HKCU_FILE", blocker + Separator() + "hkcu.reg");
  sofProgramSwitch::SetTestProcess("x /WRITEREG=all /REGPATH=\\Software\\ORVEK\\" + std::string(300, 'k'),
                                   FTemp.File("Qfail.exe"));
  sofProgramSwitch* switches = sofProgramSwitch::Create();
  switches->Register("DATE", "", "d", "");
  try {
    switches->WriteReg();
    ADD_FAILURE() << "no failure";
  } catch (const EFailure& failure) {
    EXPECT_EQ("Fehler beim Setzen der Daten f\xFCr 'DATE'", failure.Message());
  }
  switches->Release();
}

TEST_F(SwitchExportTest, EveryFailingWriteStopsTheExportWhereItStands) {
  using enum TFileOp;
  const std::string sep = Separator();
  const struct {
    TFileOp Op;
    bool OutOfMemory;
    std::string Message;  // %s: the folder, file or value name of the failed call
  } cases[] = {
      {MakeDirectory, false, "Der Pfad %s kann nicht angelegt werden!"},
      {IniWrite, false, "In %s kann nicht geschrieben werden"},
      {IniWrite, true, "Zu wenig Arbeitsspeicher"},
      {RegWrite, false, "Fehler beim Setzen der Daten f\xFCr '%s'"},
      {RegWrite, true, "Zu wenig Arbeitsspeicher"},
  };
  const char* const names[] = {"FIRST", "DATE", "HOME"};
  // Win32 writes the one real registry: a fresh key for every export.
  const std::string keyBase = "Software\\ORVEK\\QfTest" + std::to_string(std::random_device()() % 1000000u) + "-";
  int points = 0, exports = 0;
  for (const auto& c : cases) {
    const bool registry = c.Op == RegWrite;
    for (int n = 1;; ++n) {
      TTempDir temp;
      const std::string folder = temp.File("conf") + sep + "sub";  // two levels to make
      TEnvGuard registryFile("HKCU_FILE", temp.File("hkcu.reg"));
      const std::string key = keyBase + std::to_string(++exports) + "\\";
      sofProgramSwitch::SetTestProcess(registry ? "x /WRITEREG=all /REGPATH=" + key : "x /WRITEINI=all",
                                       folder + sep + "Qf.exe");
      sofProgramSwitch* switches = sofProgramSwitch::Create();
      for (const char* name : names) switches->Register(std::string("[MACROS].") + name, "", "v", "");
      TFaultyFiles faults({c.Op, "", n, c.OutOfMemory});
      std::string message = "(no failure)";
      try {
        registry ? switches->WriteReg(faults) : switches->WriteIni(faults, faults);
      } catch (const EFailure& failure) {
        message = failure.Message();
      }
      switches->Release();
      const std::string where = std::to_string(static_cast<int>(c.Op)) + " call " + std::to_string(n);
      // What was written before the failed call stays, whole; nothing else is left.
      int written = 0;
      for (const char* name : names)
        written += registry ? OsRegReadValue(key + "MACROS", name).has_value()
                            : !OsIniValue(folder + sep + "Qf.ini", "MACROS", name).empty();
      EXPECT_EQ(!faults.Injected() ? 3 : c.Op == MakeDirectory ? 0 : n - 1, written) << where;
      EXPECT_EQ(registry ? 0 : 1, faults.IniFlushes()) << where;
      std::vector<std::string> files;
      for (const auto& entry : std::filesystem::recursive_directory_iterator(temp.Path()))
        if (!entry.is_directory()) files.push_back(entry.path().filename().string());
      EXPECT_LE(files.size(), 1u) << where << ": " << (files.empty() ? "" : files.back());
      if (!faults.Injected()) {
        EXPECT_GT(n, 1) << "no such call: " << where;
        EXPECT_EQ("(no failure)", message);
        break;
      }
      ++points;
      EXPECT_EQ(FormatMessage(c.Message, faults.FailedSubject()), message) << where;
    }
  }
  RecordProperty("FailurePoints", points);
}

}  // namespace
