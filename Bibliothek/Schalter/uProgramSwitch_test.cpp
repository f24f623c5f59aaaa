// The switch registry: holders, registration, value objects and the built-in
// switches. The sources point at an empty temporary folder and registry file,
// so only the command line given here sets anything.
#include "Bibliothek/Schalter/uProgramSwitch.h"

#include <gtest/gtest.h>

#include "Bibliothek/Plattform/uOsRegistry.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uSingleton.h"
#include "test/uTestSupport.h"

namespace {

class ProgramSwitchTest : public ::testing::Test {
protected:
  ProgramSwitchTest() : FRegistryFile("HKCU_FILE", FTemp.File("hkcu.reg")) {}

  void SetUp() override {
    StartupProgramSwitchConstant();
    SetProgramSwitchEnglishTexts();
    StartupSingleton();
    // A program name no other test uses, so the real registry under Wine has no key for it.
    FExecutable = FTemp.File("Qregistrytest.exe");
    sofProgramSwitch::SetTestProcess("\"" + FExecutable + "\" /SET=value /PLUS+ /MINUS- /ON=on /ONE=1",
                                     FExecutable);
  }
  void TearDown() override {
    ShutdownProgramSwitch();
    sofProgramSwitch::SetTestProcess(std::nullopt, std::nullopt);
    ShutdownSingleton();
    ShutdownProgramSwitchConstant();
  }

  TTempDir FTemp;
  TEnvGuard FRegistryFile;
  std::string FExecutable;
};

TEST_F(ProgramSwitchTest, HoldersShareOneRegistry) {
  sofProgramSwitch* first = sofProgramSwitch::Create();
  sofProgramSwitch* second = sofProgramSwitch::Create();
  EXPECT_EQ(first, second);
  EXPECT_EQ(2, first->RefCount());
  first->Register("DATE", "", "", "");
  second->Release();
  EXPECT_EQ(1, first->SwitchCount());
  EXPECT_EQ("value", first->GetValue("SET")->AsString());
  first->Release();
  sofProgramSwitch* fresh = sofProgramSwitch::Create();  // the old one was torn down
  EXPECT_EQ(0, fresh->SwitchCount());
  fresh->Release();
}

TEST_F(ProgramSwitchTest, RegistrationRefusesASecondSwitchOfTheSameName) {
  sofProgramSwitch* switches = sofProgramSwitch::Create();
  switches->Register("DATE", "hint", "default", "description");
  try {
    switches->Register("date", "", "", "");
    FAIL() << "no failure";
  } catch (const EFailure& failure) {
    EXPECT_EQ("Multiple registries from switch date are not possible.", failure.Message());
  }
  ASSERT_EQ(1, switches->SwitchCount());
  EXPECT_EQ("/DATE", switches->SwitchKey(0));
  EXPECT_EQ((TSwitchTexts{"hint", "default", "description"}), switches->SwitchEntry(0));

  switches->RegisterHidden("SECRET", "h", "d", "x");
  EXPECT_THROW(switches->RegisterHidden("secret", "", "", ""), EFailure);
  EXPECT_THROW(switches->RegisterHidden("Date", "", "", ""), EFailure);
  EXPECT_EQ(1, switches->HiddenSwitchCount());
  EXPECT_EQ("/SECRET", switches->HiddenSwitchKey(0));
  EXPECT_EQ("d", switches->HiddenSwitchEntry(0)[1]);
  switches->Release();
}

TEST_F(ProgramSwitchTest, NameAndSectionOfAKey) {
  const struct {
    std::string key, name, section;
  } cases[] = {
      {"/DATE", "DATE", "PARAMETERS"},
      {"/[MACROS].HOME", "HOME", "MACROS"},
      {"/[ Res ]. Name ", "Name", "Res"},
      {"/ date ", "date", "PARAMETERS"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.name, sofProgramSwitch::NameOfKey(c.key)) << c.key;
    EXPECT_EQ(c.section, sofProgramSwitch::SectionOfKey(c.key)) << c.key;
  }
  sofProgramSwitch* switches = sofProgramSwitch::Create();
  switches->Register("[MACROS].HOME", "", "", "");
  EXPECT_EQ("/[MACROS].HOME", switches->SwitchKey(0));
  EXPECT_EQ("HOME", switches->SwitchName(0));
  EXPECT_EQ("MACROS", switches->SwitchSection(0));
  switches->Release();
}

TEST_F(ProgramSwitchTest, AbsentSwitchGivesTheNullObjectOrTheDefault) {
  sofProgramSwitch* switches = sofProgramSwitch::Create();
  TBasisParameter* absent = switches->GetValue("NOWHERE");
  EXPECT_EQ(absent, switches->GetValue("NOWHERE"));
  EXPECT_EQ("", absent->AsString());
  EXPECT_EQ(0, absent->AsInteger());
  EXPECT_EQ(0.0, absent->AsFloat());
  EXPECT_FALSE(absent->AsBoolean());

  TBasisParameter* hidden = switches->GetValue("SHOWHIDDEN", "", "off");
  EXPECT_EQ("off", hidden->AsString());
  EXPECT_FALSE(hidden->AsBoolean());
  EXPECT_EQ("value", switches->GetValue("SET", "", "default")->AsString());
  EXPECT_EQ("", switches->GetValue("SET", "OTHER")->AsString());  // another section
  switches->Release();
}

TEST_F(ProgramSwitchTest, ValueObjectsLiveUntilTheNextLookUpOfTheirName) {
  sofProgramSwitch* switches = sofProgramSwitch::Create();
  TBasisParameter* set = switches->GetValue("set");
  TBasisParameter* plus = switches->GetValue("PLUS");
  EXPECT_EQ("value", set->AsString());  // still valid after another name's look-up
  EXPECT_EQ("value", switches->GetValue("SET")->AsString());
  EXPECT_TRUE(plus->AsBoolean());
  for (const char* name : {"MINUS", "ON", "ONE", "SET"})
    EXPECT_FALSE(switches->GetValue(name)->AsBoolean()) << name;
  switches->Release();
}

TEST(BasisParameterTest, NumberConversions) {
  StartupProgramSwitchConstant();
  SetProgramSwitchEnglishTexts();
  const struct {
    std::string text;
    std::int32_t value;
  } integers[] = {{"42", 42}, {" -7 ", -7}, {"+3", 3}, {"2147483647", 2147483647},
                  {"-2147483648", -2147483647 - 1}, {"007", 7}};
  for (const auto& c : integers) EXPECT_EQ(c.value, TBasisParameter(c.text).AsInteger()) << c.text;
  for (const char* bad : {"", "abc", "1.5", "2147483648", "-2147483649", "0x10", "1 2", "-"}) {
    try {
      TBasisParameter(bad).AsInteger();
      ADD_FAILURE() << bad;
    } catch (const EFailure& failure) {
      EXPECT_EQ(std::string("The format of section and parameter is not validly!'") + bad +
                    "' ist kein g\xFC" "ltiger Integerwert",
                failure.Message());
    }
  }
  const struct {
    std::string text;
    double value;
  } floats[] = {{"1.5", 1.5}, {" -2e3 ", -2000.0}, {"7", 7.0}, {".25", 0.25}};
  for (const auto& c : floats) EXPECT_DOUBLE_EQ(c.value, TBasisParameter(c.text).AsFloat()) << c.text;
  for (const char* bad : {"", "abc", "inf", "nan", "1.5x", "0x1p3", "1e999"}) {
    try {
      TBasisParameter(bad).AsFloat();
      ADD_FAILURE() << bad;
    } catch (const EFailure& failure) {
      EXPECT_EQ(std::string("The format of section and parameter is not validly!'") + bad +
                    "' ist kein g\xFC" "ltiger Gleitkommawert",
                failure.Message());
    }
  }
}

TEST(ApplicationTitleTest, TitleAndIniPathDefault) {
  const struct {
    std::string executable, title, iniPath;
  } cases[] = {
      {"d:\\bin\\Quillet.exe", "Quillet", "d:\\bin\\"},
      {"c:\\QUILLET.EXE", "Quillet", "c:\\"},
      {"c:\\Quillet.exe\\Quillet.exe", "Quillet", "c:\\"},
      {"c:\\tools\\Quillet.1.exe", "Quillet", "c:\\tools\\"},
      {"/usr/local/bin/quillet", "quillet", "/usr/local/bin/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.title, ApplicationTitle(c.executable)) << c.executable;
    EXPECT_EQ(c.iniPath, IniPathDefault(c.executable)) << c.executable;
  }
}

TEST_F(ProgramSwitchTest, StartupRegistersTheNineBuiltInSwitches) {
  StartupProgramSwitch();
  ASSERT_NE(nullptr, ProgramSwitch);
  const std::string folder = FTemp.File("");
  const struct {
    std::string name, hint, defaultValue, description;
  } expected[] = {
      {"REGOFF", "+, -", "-", "This switch switches the readout from the registry in or out."},
      {"INIOFF", "+, -", "-", "This switch switches the readout from the Ini file in or out."},
      {"CMDOFF", "+, -", "-", "This switch switches the readout from the command line in or out."},
      {"REGPATH", "\\Software\\ORVEK", "\\Software\\ORVEK\\Qregistrytest\\",
       "This switch sets the path of the registry."},
      {"INIPATH", "c:\\win", folder, "This switch sets the path of the Ini file."},
      {"INIFILE", "win32.ini", "Qregistrytest.ini", "This switch sets the name of the Ini file."},
      {"WRITEINI", "all, [Parameters], [Resources], ...", "no default value",
       "This switch activates the writing of the registered switches into the Ini file. The "
       "application terminates immediately afterwards."},
      {"WRITEREG", "all, [Parameters], [Resources], ...", "no default value",
       "This switch activates the writing of the registered switches into the registry. The "
       "application terminates immediately afterwards."},
      {"SHOWHIDDEN", "on, off", "off",
       "This switch shows or hides the switches, which are registered with the special register "
       "method."},
  };
  ASSERT_EQ(9, ProgramSwitch->SwitchCount());
  for (int i = 0; i < 9; ++i) {
    const auto& e = expected[i];
    EXPECT_EQ("/" + e.name, ProgramSwitch->SwitchKey(i));
    EXPECT_EQ((TSwitchTexts{e.hint, e.defaultValue, e.description}), ProgramSwitch->SwitchEntry(i));
  }
  EXPECT_EQ(0, ProgramSwitch->HiddenSwitchCount());
}

TEST_F(ProgramSwitchTest, StartupGoesOnAfterARefusedRegistration) {
  if (OsRegistryFilePath().empty()) GTEST_SKIP() << "the error box is a modal window here";
  sofProgramSwitch* holder = sofProgramSwitch::Create();
  holder->Register("INIPATH", "", "", "");
  StartupProgramSwitch();  // the message goes to standard error
  ASSERT_EQ(holder, ProgramSwitch);
  ASSERT_EQ(5, holder->SwitchCount());  // the later ones are not registered
  EXPECT_EQ("/REGPATH", holder->SwitchKey(4));
  holder->Release();
}

}  // namespace
