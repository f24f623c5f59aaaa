// The three parameter sources, their look-up order, macros, and the switches
// read while the registry is created. The registry source is the real one:
// the Windows registry under Wine, a registry file in a temporary folder on POSIX.
#include <gtest/gtest.h>

#include "Bibliothek/Plattform/uOsRegistry.h"
#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uSingleton.h"
#include "test/uTestSupport.h"

namespace {

const char* const KeyHeading = "Software\\ORVEK\\Qswitchtest\\PARAMETERS";
const char* const MacroKey = "Software\\ORVEK\\Qswitchtest\\MACROS";
const char* const MovedKey = "Software\\ORVEK\\Qswitchmoved\\PARAMETERS";

// The Windows registry outlives the test, so there every value a test may
// write is blanked before and after it; an empty value counts as absent.
void BlankRegistry() {
  if (!OsRegistryFilePath().empty()) return;  // POSIX: a fresh file for every test
  for (const char* key : {KeyHeading, MovedKey})
    for (const char* name : {"DATE", "REGOFF", "INIOFF", "CMDOFF", "INIPATH", "INIFILE", "REGPATH"})
      OsRegWriteString(key, name, "");
  OsRegWriteString(MacroKey, "LOGDIR", "");
}

std::string Backslashed(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

bool RegistryIsAFile() { return !OsRegistryFilePath().empty(); }

class ParameterSourcesTest : public ::testing::Test {
protected:
  ParameterSourcesTest() : FRegistryFile("HKCU_FILE", FTemp.File("hkcu.reg")) {}

  void SetUp() override {
    StartupProgramSwitchConstant();
    SetProgramSwitchEnglishTexts();
    StartupSingleton();
    BlankRegistry();
  }
  void TearDown() override {
    if (FSwitches) FSwitches->Release();
    sofProgramSwitch::SetTestProcess(std::nullopt, std::nullopt);
    ShutdownSingleton();
    BlankRegistry();
    ShutdownProgramSwitchConstant();
  }

  /// The folder of the pretended executable, with its separator.
  std::string Folder() const { return FTemp.File(""); }
  void WriteIni(const std::string& name, const std::string& text) { WriteBytes(FTemp.File(name), text); }

  /// The registry of a program Qswitchtest.exe in the temporary folder, started with `arguments`.
  sofProgramSwitch& Start(const std::string& arguments) {
    sofProgramSwitch::SetTestProcess("\"" + Folder() + "Qswitchtest.exe\" " + arguments,
                                     Folder() + "Qswitchtest.exe");
    FSwitches = sofProgramSwitch::Create();
    return *FSwitches;
  }
  std::string Value(const std::string& name, const std::string& section = "") {
    return FSwitches->GetValue(name, section)->AsString();
  }

  TTempDir FTemp;
  TEnvGuard FRegistryFile;
  sofProgramSwitch* FSwitches = nullptr;
};

TEST(ParameterItemTest, SectionNameAndValue) {
  StartupProgramSwitchConstant();
  const struct {
    std::string item, section, name, value;
  } cases[] = {
      {"DATE=.ge-7", "PARAMETERS", "DATE", ".ge-7"},
      {" date = x y ", "PARAMETERS", "DATE", "x y"},
      {"REGOFF+", "PARAMETERS", "REGOFF", "+"},
      {"REGOFF-", "PARAMETERS", "REGOFF", "-"},
      {"N-3", "PARAMETERS", "N", "-3"},
      {"N==x", "PARAMETERS", "N", "=x"},
      {"N", "PARAMETERS", "N", ""},
      {"MY-KEY=1", "PARAMETERS", "MY", "-KEY=1"},
      {"INPUT=\"c:\\a b\"", "PARAMETERS", "INPUT", "\"c:\\a b\""},
      {"[macros].LogDir=c:\\x", "MACROS", "LOGDIR", "c:\\x"},
      {"[ Macros ].X=1", "MACROS", "X", "1"},
      {"A]B[C]", "C", "A]B[C]", ""},
      {"A]B", "", "A]B", ""},
      {"?", "PARAMETERS", "?", "+"},
      {"?=no", "PARAMETERS", "?", "+"},
  };
  for (const auto& c : cases) {
    const TParameterItem item = TParameter::ParseItem(c.item);
    EXPECT_EQ(c.section, item.Section) << c.item;
    EXPECT_EQ(c.name, item.Name) << c.item;
    EXPECT_EQ(c.value, item.Value) << c.item;
  }
}

TEST(CommandParameterTest, ItemsFromTheFirstSlashOn) {
  StartupProgramSwitchConstant();
  const struct {
    std::string commandLine, name, section, value;
  } cases[] = {
      {"quillet /DATE=1 /DATE=2", "date", "PARAMETERS", "1"},
      {"quillet DATE=1", "DATE", "PARAMETERS", ""},
      {"c:\\bin\\quillet.exe INPUT=x /OUTPUT=y", "INPUT", "PARAMETERS", ""},
      {"quillet /INPUT=c:/logs/cvs.log", "INPUT", "PARAMETERS", "c:"},
      {"quillet /INPUT=\"c:\\my logs\\cvs.log\"", "INPUT", "PARAMETERS", "\"c:\\my logs\\cvs.log\""},
      {"quillet /A=1/B=2//C=3", "C", "PARAMETERS", "3"},
      {"quillet /[MACROS].HOME=h /HOME=p", "HOME", "MACROS", "h"},
      {"quillet /[MACROS].HOME=h", "HOME", "PARAMETERS", ""},
      {"quillet /?", "?", "PARAMETERS", "+"},
  };
  for (const auto& c : cases) {
    TCommandParameter source(c.commandLine);
    source.SetName(c.name);
    source.SetSection(c.section);
    EXPECT_EQ(c.value, source.ReadValue()) << c.commandLine;
  }
}

TEST_F(ParameterSourcesTest, IniSourceReadsTheSectionAsItems) {
  WriteIni("q.ini",
           "[PARAMETERS]\r\nDATE=.ge-7\r\nMY-KEY=1\r\nPATH=a/b\r\n[MACROS]\r\nLOGDIR=c:\\logs\r\n");
  TINIParameter ini(Folder(), "q.ini");
  const struct {
    std::string name, section, value;
  } cases[] = {
      {"date", "PARAMETERS", ".ge-7"}, {"MY-KEY", "PARAMETERS", ""},     {"MY", "PARAMETERS", "-KEY=1"},
      // POSIX paths hold "/"; Windows cuts a value there, as on its command line.
      {"PATH", "PARAMETERS", OsIniValuesHoldSlashes() ? "a/b" : "a"},
      {"LOGDIR", "MACROS", "c:\\logs"}, {"LOGDIR", "PARAMETERS", ""},
      {"DATE", "", ""},
  };
  for (const auto& c : cases) {
    ini.SetName(c.name);
    ini.SetSection(c.section);
    EXPECT_EQ(c.value, ini.ReadValue()) << c.name << " in " << c.section;
    EXPECT_EQ("PARAMETERS", ini.Section());
  }
  EXPECT_EQ(ini.CutEntry("path", "PARAMETERS"), OsIniValuesHoldSlashes() ? "" : "PATH=a/b");
  EXPECT_EQ(ini.CutEntry("DATE", "PARAMETERS"), "");
  TINIParameter missing(Folder(), "none.ini");
  missing.SetName("DATE");
  missing.SetSection("PARAMETERS");
  EXPECT_EQ("", missing.ReadValue());
}

TEST_F(ParameterSourcesTest, IniSourcePlaceFromTheExecutable) {
  const struct {
    std::string executable, folder, file;
  } cases[] = {
      {"c:\\tools\\Quillet.exe", "c:\\tools\\", "Quillet.ini"},
      {"/usr/bin/quillet", "/usr/bin/", "quillet.ini"},
      {"d:\\a.b\\My.Tool.EXE", "d:\\a.b\\", "My.Tool.ini"},
  };
  for (const auto& c : cases) {
    const TINIParameter ini(c.executable);
    EXPECT_EQ(c.folder, ini.Folder());
    EXPECT_EQ(c.file, ini.FileName());
  }
  try {
    TINIParameter broken("c:\\tools\\");
    FAIL() << "no failure";
  } catch (const EFailure& failure) {
    EXPECT_EQ(0u, failure.Message().find("Failure: Ini file not found!"));
  }
}

TEST_F(ParameterSourcesTest, RegistrySourceReadsTheValueWhole) {
  ASSERT_TRUE(OsRegWriteString(KeyHeading, "DATE", "a/b /c"));
  TRegistryParameter registry("\\Software\\ORVEK\\Qswitchtest\\");
  registry.SetName("date");
  registry.SetSection("PARAMETERS");
  EXPECT_EQ("a/b /c", registry.ReadValue());
  registry.SetName("AUTHOR");
  EXPECT_EQ("", registry.ReadValue());
  TRegistryParameter missing("\\Software\\ORVEK\\NoSuchProgramHere\\");
  missing.SetName("DATE");
  missing.SetSection("PARAMETERS");
  EXPECT_EQ("", missing.ReadValue());
}

TEST_F(ParameterSourcesTest, CommandLineWinsOverIniFileWinsOverRegistry) {
  ASSERT_TRUE(OsRegWriteString(KeyHeading, "DATE", "from registry"));
  WriteIni("Qswitchtest.ini", "[PARAMETERS]\r\nDATE=from ini\r\nAUTHOR=ini author\r\n");
  auto& switches = Start("/DATE=from command /AUTHOR=");
  EXPECT_EQ("from command", Value("DATE"));
  EXPECT_EQ("ini author", Value("AUTHOR"));  // an empty answer never overrides
  WriteIni("Qswitchtest.ini", "[PARAMETERS]\r\n");
  ASSERT_TRUE(OsRegWriteString(KeyHeading, "AUTHOR", "registry author"));
  EXPECT_EQ("registry author", Value("AUTHOR"));  // read afresh on every look-up
  OsRegWriteString(KeyHeading, "AUTHOR", "");
  EXPECT_TRUE(switches.RegistryOn() && switches.IniOn() && switches.CommandOn());
}

TEST_F(ParameterSourcesTest, SourceSwitchesTurnOffOnlyWithPlus) {
  ASSERT_TRUE(OsRegWriteString(KeyHeading, "DATE", "from registry"));
  ASSERT_TRUE(OsRegWriteString(KeyHeading, "REGPATH", "\\Software\\ORVEK\\Qswitchmoved"));
  {
    auto& switches = Start("/REGOFF /INIOFF- /CMDOFF=on");
    EXPECT_TRUE(switches.RegistryOn() && switches.IniOn() && switches.CommandOn());
    EXPECT_EQ("\\Software\\ORVEK\\Qswitchmoved\\", switches.RegistryParameter().KeyPath());
    FSwitches->Release();
    FSwitches = nullptr;
  }
  auto& switches = Start("/REGOFF+");
  EXPECT_FALSE(switches.RegistryOn());
  EXPECT_EQ("", Value("DATE"));
  EXPECT_EQ("\\Software\\ORVEK\\Qswitchtest\\", switches.RegistryParameter().KeyPath());
}

TEST_F(ParameterSourcesTest, IniFileAndRegistryCanTurnSourcesOff) {
  WriteIni("Qswitchtest.ini", "[PARAMETERS]\r\nCMDOFF=+\r\nDATE=from ini\r\n");
  ASSERT_TRUE(OsRegWriteString(KeyHeading, "INIOFF", "+"));
  Start("/DATE=from command");
  EXPECT_FALSE(FSwitches->CommandOn());
  EXPECT_FALSE(FSwitches->IniOn());
  EXPECT_EQ("", Value("DATE"));
}

TEST_F(ParameterSourcesTest, PathSwitchesOnTheCommandLine) {
  auto& first = Start("/INIPATH=d:\\conf /INIFILE=quillet.cfg");
  EXPECT_EQ("d:\\conf\\quillet.cfg.ini", first.IniParameter().FullName());
  FSwitches->Release();
  auto& second = Start("/INIFILE=other.ini /INIPATH=d:\\conf\\ /REGPATH=\\Software\\X");
  EXPECT_EQ("d:\\conf\\\\other.ini", second.IniParameter().FullName());
  EXPECT_EQ("\\Software\\X\\", second.RegistryParameter().KeyPath());
  FSwitches->Release();
  auto& third = Start("/INIOFF+ /INIPATH=d:\\conf");
  EXPECT_EQ(Folder() + "Qswitchtest.ini", third.IniParameter().FullName());
}

TEST_F(ParameterSourcesTest, EachSourceIsReadAtThePlaceTheEarlierOnesSet) {
  // The registry moves the INI folder, where the INI file moves it again;
  // INIFILE is still read beside the executable; REGPATH is read from the
  // INI file at its final place. Switch values cannot hold "/", so the
  // folders are written with backslashes.
  TTempDir other, third;
  const std::string otherFolder = Backslashed(other.Path());
  const std::string thirdFolder = Backslashed(third.Path());
  ASSERT_TRUE(OsRegWriteString(KeyHeading, "INIPATH", otherFolder));
  WriteIni("Qswitchtest.ini", "[PARAMETERS]\r\nINIFILE=alt\r\nREGPATH=\\Software\\Wrong\r\n");
  WriteBytes(other.File("Qswitchtest.ini"), "[PARAMETERS]\r\nINIPATH=" + thirdFolder + "\r\n");
  WriteBytes(other.File("alt.ini"), "[PARAMETERS]\r\nREGPATH=\\Software\\Wrong\r\n");
  WriteBytes(third.File("alt.ini"), "[PARAMETERS]\r\nREGPATH=\\Software\\ORVEK\\Qswitchmoved\r\n");
  ASSERT_TRUE(OsRegWriteString(MovedKey, "DATE", "moved"));

  auto& switches = Start("");
  EXPECT_EQ(thirdFolder + "\\alt.ini", switches.IniParameter().FullName());
  EXPECT_EQ("\\Software\\ORVEK\\Qswitchmoved\\", switches.RegistryParameter().KeyPath());
  EXPECT_EQ("moved", Value("DATE"));
}

TEST_F(ParameterSourcesTest, MacrosExpandFromTheSectionMacros) {
  ASSERT_TRUE(OsRegWriteString(MacroKey, "LOGDIR", "c:\\registry"));
  WriteIni("Qswitchtest.ini", "[MACROS]\r\nINIMACRO=ini\r\n");
  std::string chain;
  for (int i = 1; i <= 11; ++i)
    chain += "/[MACROS].M" + std::to_string(i) + "=%M" + std::to_string(i + 1) + "% ";
  Start("/[MACROS].LOGDIR=c:\\logs /INPUT=%LOGDIR%\\cvs.log /[MACROS].OTHER=%LOGDIR%\\x "
        "/[MACROS].A=%B% /[MACROS].B=%A% /[MACROS].D=%D%%D%%D%%D%%D%%D% " +
        chain + "/[MACROS].M12=end");
  const struct {
    std::string value, expanded;
  } cases[] = {
      {"%LOGDIR%\\cvs.log", "c:\\logs\\cvs.log"},
      {"%OTHER%!", "c:\\logs\\x!"},
      {"%inimacro%-%LOGDIR%", "ini-c:\\logs"},
      {"%A%", ""},
      {"%M3%", "end"},  // ten passes
      {"%M2%", ""},     // eleven
      {"50%x%", ""},
      {"100%", "100%"},
      {"no macro", "no macro"},
      {"%%", ""},
      {"%LOGDIR%|%OTHER%|%LOGDIR%", "c:\\logs|c:\\logs\\x|c:\\logs"},  // each where it stands
  };
  for (const auto& c : cases) EXPECT_EQ(c.expanded, FSwitches->ExpandMacros(c.value)) << c.value;
  EXPECT_EQ("c:\\logs\\cvs.log", Value("INPUT"));
  EXPECT_EQ("%LOGDIR%", FSwitches->GetValue("UNSET", "", "%LOGDIR%")->AsString());  // a default stays

  // The library tells its caller, and prints nothing itself.
  std::vector<std::string> warnings;
  FSwitches->SetWarningHandler([&](const std::string& warning) { warnings.push_back(warning); });
  EXPECT_EQ("", FSwitches->ExpandMacros("%HOME%\\cvs.log", "INPUT"));
  EXPECT_EQ(std::vector<std::string>{"INPUT: macro %HOME% is not set in MACROS, so the value is empty"}, warnings);
  try {
    FSwitches->ExpandMacros("%D%", "PERSON");  // six times longer with every pass
    ADD_FAILURE() << "no failure";
  } catch (const EFailure& failure) {
    EXPECT_EQ("The macros of switch PERSON expand to more than 64 KiB!", failure.Message());
  }
}

TEST_F(ParameterSourcesTest, CommandItemsThatNoSwitchTookAndWhereValuesComeFrom) {
  WriteIni("Qswitchtest.ini", "[PARAMETERS]\r\nAUTHOR=ini\r\n");
  sofProgramSwitch::SetTestProcess("q /DATE=1 /AUTOR=x /[MACROS].M=1 /[OTHER].Y=2 /[ASKED].Z=3 /READ=4 /? /DAET",
                                   Folder() + "Qswitchtest.exe");
  FSwitches = sofProgramSwitch::Create();
  FSwitches->Register("DATE", "", "", "");
  FSwitches->Register("AUTHOR", "", "", "");
  Value("READ");
  Value("Z", "ASKED");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"AUTOR=x", "AUTHOR"}, {"[OTHER].Y=2", ""}, {"DAET", "DATE"}};
  std::vector<std::pair<std::string, std::string>> unknown;
  for (const TUnknownItem& item : FSwitches->UnknownCommandItems()) unknown.emplace_back(item.Text, item.Suggestion);
  EXPECT_EQ(expected, unknown);

  // A slip of one or two letters, never half the name.
  const std::pair<const char*, const char*> suggestions[] = {
      {"--date=x", "DATE"}, {"-V", ""}, {"/ATHR=x", "AUTHOR"}, {"/DATUM=x", ""}, {"/AUTHORS=x", "AUTHOR"}};
  for (const auto& [word, suggestion] : suggestions) EXPECT_EQ(suggestion, FSwitches->ClosestSwitchName(word)) << word;
  EXPECT_EQ(std::nullopt, FSwitches->ConflictingCommandItems());
  EXPECT_EQ(TValueSource::CommandLine, FSwitches->SourceOf("DATE"));
  EXPECT_EQ(TValueSource::Ini, FSwitches->SourceOf("AUTHOR"));
  EXPECT_EQ(TValueSource::None, FSwitches->SourceOf("NOWHERE"));
}

TEST_F(ParameterSourcesTest, ASwitchGivenTwiceWithTwoValuesIsNamed) {
  sofProgramSwitch::SetTestProcess("q /DATE=1 /date = 1 /? /?=x /[MACROS].M=1 /AUTHOR=a /[macros].m=2 /AUTHOR=b",
                                   Folder() + "Qswitchtest.exe");
  FSwitches = sofProgramSwitch::Create();
  const auto twice = FSwitches->ConflictingCommandItems();
  ASSERT_TRUE(twice.has_value());
  EXPECT_EQ("[MACROS].M=1", twice->first);
  EXPECT_EQ("[macros].m=2", twice->second);
}

TEST_F(ParameterSourcesTest, NonStringRegistryValueFailsTheCreationAndLeavesNothing) {
  if (!RegistryIsAFile()) GTEST_SKIP() << "the platform layer writes string values only";
  WriteBytes(FTemp.File("hkcu.reg"),
             "Windows Registry Editor Version 5.00\r\n\r\n"
             "[HKEY_CURRENT_USER\\Software\\ORVEK\\Qswitchtest\\PARAMETERS]\r\n"
             "\"REGOFF\"=dword:00000001\r\n");
  sofProgramSwitch::SetTestProcess("q /DATE=x", Folder() + "Qswitchtest.exe");
  try {
    StartupProgramSwitch();
    FAIL() << "no failure";
  } catch (const EFailure& failure) {
    EXPECT_EQ("Ung\xFC" "ltiger Datentyp f\xFC" "r 'REGOFF'", failure.Message());
  }
  EXPECT_EQ(nullptr, ProgramSwitch);

  WriteBytes(FTemp.File("hkcu.reg"), "Windows Registry Editor Version 5.00\r\n");
  auto& switches = Start("/DATE=x");
  EXPECT_EQ(1, switches.RefCount());
  EXPECT_EQ(0, switches.SwitchCount());
  EXPECT_EQ("x", Value("DATE"));
}

}  // namespace
