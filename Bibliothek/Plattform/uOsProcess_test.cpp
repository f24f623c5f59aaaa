#include "Bibliothek/Plattform/uOsProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>
#if defined(_WIN32)
#include <windows.h>
#else
#include <sched.h>
#endif

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

TEST(OsProcess, ProcessorsAreThoseTheProcessMayRunOn) {
  // As under `taskset -c 0` (or a job object's one processor): one counts one.
#if defined(_WIN32)
  DWORD_PTR process = 0, system = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &process, &system));
  ASSERT_TRUE(SetProcessAffinityMask(GetCurrentProcess(), process & (~process + 1)));
  EXPECT_EQ(1u, OsProcessorCount());
  SetProcessAffinityMask(GetCurrentProcess(), process);
#else
  cpu_set_t all, one;
  ASSERT_EQ(0, sched_getaffinity(0, sizeof all, &all));
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &all)) {
      CPU_SET(cpu, &one);
      break;
    }
  ASSERT_EQ(0, sched_setaffinity(0, sizeof one, &one));
  EXPECT_EQ(1u, OsProcessorCount());
  sched_setaffinity(0, sizeof all, &all);
  EXPECT_EQ(static_cast<unsigned>(CPU_COUNT(&all)), OsProcessorCount());
#endif
}
TEST(OsProcess, AnInterruptRemovesThePathsStillOnItsList) {
  OsRemoveOnInterrupt("first.tmp");
  OsRemoveOnInterrupt("second.tmp");
  OsKeepOnInterrupt("first.tmp");
  OsKeepOnInterrupt("never.tmp");
  // (Temporary files of other tests that were removed by other means may be listed too.)
  std::set<std::string> listed;
  for (std::size_t slot = 0; slot < OsInterruptSlots; ++slot)
    if (const char* path = OsInterruptPath(slot)) listed.insert(path);
  EXPECT_EQ(0u, listed.count("first.tmp"));
  EXPECT_EQ(1u, listed.count("second.tmp"));
  OsKeepOnInterrupt("second.tmp");
}
}  // namespace
