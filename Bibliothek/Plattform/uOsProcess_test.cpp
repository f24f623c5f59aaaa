#include "Bibliothek/Plattform/uOsProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct JoinCase {
  std::vector<const char*> Args;
  const char* Expected;
};

TEST(OsProcess, CommandLineWritesPathsWithBackslashes) {
  // A program path or a value with slashes would otherwise feed the
  // command-line source items such as "input" or cut the value short.
  const std::vector<JoinCase> cases = {
      {{"/home/me/input/quillet", "/INPUT=a.log"}, "\\home\\me\\input\\quillet /INPUT=a.log"},
      {{"./quillet", "/DATE=.ge-7", "/PERSON=me"}, ".\\quillet /DATE=.ge-7 /PERSON=me"},
      {{"quillet"}, "quillet"},
      {{"q", "plain", "/A+"}, "q plain /A+"},
      {{"q", "a b", ""}, "q a b "},
      {{"q", "/INPUT=/var/log/cvs.log", "/OUTPUT=reports/dev1.txt"},
       "q /INPUT=\\var\\log\\cvs.log /OUTPUT=reports\\dev1.txt"},
      {{"q", "/[MACROS].LOGS=/srv/logs", "/REGOFF+", "/?", "a/b"}, "q /[MACROS].LOGS=\\srv\\logs /REGOFF+ /? a/b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.Expected, OsJoinCommandLine(static_cast<int>(c.Args.size()), c.Args.data()));
}

TEST(OsProcess, TheProgramPathPartOfTheCommandLineHoldsNoSlash) {
  const std::string line = OsCommandLine();
  ASSERT_FALSE(line.empty());
  // gtest passes its own switches (--gtest_output=...), which hold no "/" before them.
  const auto firstBlank = line.find(' ');
  EXPECT_EQ(std::string::npos, line.substr(0, firstBlank).find('/')) << line;
}

TEST(OsProcess, ExecutablePathNamesThisTestProgram) {
  const std::string path = OsExecutablePath();
  EXPECT_NE(std::string::npos, path.find("platform_tests")) << path;
}

TEST(OsProcess, EnvironmentCanBeSetAndRemoved) {
  OsSetEnvironment("QUILLET_TEST_VARIABLE", "value 1");
  const char* value = std::getenv("QUILLET_TEST_VARIABLE");
  EXPECT_STREQ("value 1", value ? value : "");
  OsSetEnvironment("QUILLET_TEST_VARIABLE", "");
  EXPECT_EQ(nullptr, std::getenv("QUILLET_TEST_VARIABLE"));
}

}  // namespace
