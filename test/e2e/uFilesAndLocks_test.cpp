// End-to-end: runs at once on one output, outputs through links and devices,
// leftovers of killed runs, settings that grow without end.
#include "test/e2e/uEndToEnd.h"

using namespace e2e;

namespace {
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
       // The Windows build under wine cannot tell a stale lock file it may not
       // read from a live run's: it waits for its removal.
       "sticky\\report.txt",
       Wine() ? "The lock file sticky\\report.txt.lock is still held after 2 seconds: the output stays as it was!"
              : "Datei sticky\\report.txt kann nicht erstellt werden",
       [&](const TRunResult& r) {
         if (!Wine()) {
           EXPECT_NE(r.Err.find("report.txt.lock"), std::string::npos) << r.Err;
         }
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
    std::vector<std::string> extra = {c.AsNobody ? "/DATE=.ge-7" : "/DATE=.ge10.05.2003", "/OUTPUT=" + c.Output,
                                      "/LOCKWAIT=2"};
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
  TLockHolder lock(At("out\\report.txt"));
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
