// End-to-end tests of the output side in folders that others share: each row
// is an attack of a second local account (`nobody`) on a run of root's (as
// from cron), or the wait of one user's run for another's, in both builds.
// The attacker's steps run as that user (setpriv); the harness is in uEndToEnd.h.
#include "test/e2e/uEndToEnd.h"

#include <dirent.h>
#include <sys/file.h>

using namespace e2e;

namespace {

class SharedFolders : public QuilletEndToEnd {
protected:
  void SetUp() override {
    QuilletEndToEnd::SetUp();
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
      GTEST_SKIP() << "needs root to play the victim and setpriv to play the attacker";
    fs::permissions(FDir, fs::perms::all);
    fs::permissions(At("out"), fs::perms::all);
    // Root's own file in a folder only root may enter: what an attacker is after.
    fs::create_directories(At("rootonly"));
    fs::permissions(At("rootonly"), fs::perms::owner_all);
    Write("rootonly\\secret.txt", "root only\r\n");
    fs::permissions(At("rootonly\\secret.txt"), fs::perms(0644));
  }

  /// Runs `script` as the attacker, in the working folder.
  void AsAttacker(const std::string& script) {
    TChild child = StartProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/bin/sh",
                                 "-ec", script},
                                FDir, {});
    const TRunResult r = FinishProcess(child);
    ASSERT_EQ(r.ExitCode, 0) << script << ": " << r.Err;
  }
  /// A folder of the working folder, root's, with `mode` (a team folder, a sticky one).
  void Folder(const char* name, fs::perms mode) {
    fs::create_directories(At(name));
    fs::permissions(At(name), mode);
  }

  /// The command that runs the program as the attacker: under wine with a
  /// prefix of that user's own, made at the first need.
  std::vector<std::string> AsNobody(const std::vector<std::string>& args) {
    std::vector<std::string> command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    if (Wine()) {
      const std::string prefix = (FDir / "wine-nobody").string();
      fs::create_directories(prefix);
      EXPECT_EQ(0, chown(prefix.c_str(), 65534, 65534));
      command.insert(command.end(), {"/usr/bin/env", "HOME=" + prefix, "WINEPREFIX=" + prefix});
      FNobodyWine = true;
    }
    const std::vector<std::string> program = Program().Command(WithIniSwitches(args));
    command.insert(command.end(), program.begin(), program.end());
    return command;
  }
  void TearDown() override {
    if (FNobodyWine) {
      TChild child = StartProcess({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                   "/usr/bin/env", "WINEPREFIX=" + (FDir / "wine-nobody").string(), "wineserver", "-k"},
                                  FDir, {});
      FinishProcess(child);
    }
    QuilletEndToEnd::TearDown();
  }

  /// The file names in a folder of the working folder.
  std::set<std::string> Names(const std::string& folder) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(At(folder))) names.insert(entry.path().filename().string());
    return names;
  }
  /// True when another program than this one has `path` open (the run that
  /// waits for its lock, or the wine server for it). A child forked by this
  /// test holds the lock file too until its exec closes it, so processes of
  /// this test's own program do not count.
  static bool OpenedElsewhere(const fs::path& path) {
    DIR* processes = opendir("/proc");
    bool found = false;
    std::error_code ignored;
    const fs::path self = fs::read_symlink("/proc/self/exe", ignored);
    while (const dirent* process = processes ? readdir(processes) : nullptr) {
      if (!std::isdigit(static_cast<unsigned char>(process->d_name[0]))) continue;
      const std::string proc = std::string("/proc/") + process->d_name;
      if (fs::read_symlink(proc + "/exe", ignored) == self) continue;
      const std::string fds = proc + "/fd";
      for (const auto& fd : fs::directory_iterator(fds, ignored))
        if (fs::read_symlink(fd.path(), ignored) == path) found = true;
    }
    if (processes) closedir(processes);
    return found;
  }

  bool FNobodyWine = false;
};

enum class TBuilds { Both, Native };

struct TAttack {
  const char* Name;
  TBuilds Builds;
  std::string Output;  // the OUTPUT value
  std::function<void()> Arrange;
  // Done while the victim's run waits for the lock that this test holds; no
  // lock is held when empty.
  std::function<void()> WhileWaiting;
  std::vector<std::string> Extra;  // more arguments of the run
  bool VictimIsNobody;             // the run is the other user's, not root's
  std::function<std::string()> Failure;  // the one line on stdout; success when empty
  std::function<void()> Check;
  mode_t LockMode = 0644;  // of the lock file held while the run waits
};

TEST_F(SharedFolders, AttacksOfAnotherUserChangeNothing) {
  Write("in\\cvs.log", SampleLog);
  const std::string longName(250, 'n');
  const std::string cut = longName.substr(0, 255 - std::string(".~99999-3").size()) + ".~99999-3";
  auto secretKept = [&] { EXPECT_EQ("root only\r\n", Read("rootonly\\secret.txt")); };
  auto fails = [&](const std::string& output) {
    return [this, output] { return "Datei " + Shown(output) + " kann nicht erstellt werden"; };
  };
  auto succeeds = [] { return std::string(); };
  auto changed = [&](const std::string& output) {
    return [this, output] {
      return "The output " + Shown(output) + " was changed while the run waited for its lock: nothing was written!";
    };
  };
  const TAttack attacks[] = {
      {"the output replaced by a link during the lock wait", TBuilds::Both, "team\\report.txt",
       [&] {
         Folder("team", fs::perms(02777));
         Write("team\\report.txt", "team report\r\n");
       },
       [&] { AsAttacker("mv team/report.txt team/moved.txt; ln -s ../rootonly/secret.txt team/report.txt"); }, {},
       false, changed("team\\report.txt"),
       [&] {
         secretKept();
         EXPECT_TRUE(fs::is_symlink(At("team\\report.txt")));
       }},
      {"a FIFO planted during the lock wait", TBuilds::Both, "team\\report.txt",
       [&] {
         Folder("team", fs::perms(02777));
         Write("team\\report.txt", "team report\r\n");
       },
       [&] { AsAttacker("mv team/report.txt team/moved.txt; mkfifo team/report.txt"); }, {}, false,
       changed("team\\report.txt"), [&] { EXPECT_TRUE(fs::is_fifo(At("team\\report.txt"))); }},
      {"a link in the attacker's own folder", TBuilds::Both, "theirs\\report.txt",
       [&] { AsAttacker("mkdir -m 755 theirs; ln -s ../rootonly/secret.txt theirs/report.txt"); }, nullptr, {}, false,
       fails("theirs\\report.txt"), secretKept},
      {"a link in a sticky folder", TBuilds::Both, "sticky\\report.txt",
       [&] {
         Folder("sticky", fs::perms(01777));
         AsAttacker("ln -s ../rootonly/secret.txt sticky/report.txt");
       },
       nullptr, {}, false, fails("sticky\\report.txt"), secretKept},
      {"a link named like a stale temporary file", TBuilds::Both, "team\\report.txt",
       [&] {
         Folder("team", fs::perms(02777));
         AsAttacker("ln -s ../rootonly/secret.txt team/report.txt.~999-0");
       },
       nullptr, {}, false, succeeds,
       [&] {
         secretKept();
         EXPECT_TRUE(fs::is_symlink(At("team\\report.txt.~999-0")));
       }},
      {"a lock file of another user that is let go", TBuilds::Both, "team\\report.txt",
       [&] { Folder("team", fs::perms(02777)); }, [] {}, {}, true, succeeds,
       [&] { EXPECT_EQ(Names("team"), std::set<std::string>{"report.txt"}); }},
      {"root waits for a readable lock file of another user", TBuilds::Both, "team\\report.txt",
       [&] { Folder("team", fs::perms(02775)); }, [] {}, {}, false, succeeds,
       [&] { EXPECT_EQ(Names("team"), std::set<std::string>{"report.txt"}); }},
      {"root waits for a lock file only its owner may read", TBuilds::Both, "team\\report.txt",
       [&] { Folder("team", fs::perms(02775)); }, [] {}, {}, false, succeeds,
       [&] { EXPECT_EQ(Names("team"), std::set<std::string>{"report.txt"}); }, 0600},
      {"a lock file of another user that it alone may read", TBuilds::Both, "team\\report.txt",
       [&] { Folder("team", fs::perms(02777)); }, [] {}, {}, true, succeeds,
       [&] { EXPECT_EQ(Names("team"), std::set<std::string>{"report.txt"}); }, 0600},
      {"a stale lock file of another user", TBuilds::Both, "team\\report.txt",
       [&] {
         Folder("team", fs::perms(02777));
         AsAttacker("umask 077; : > team/report.txt.lock");
         fs::permissions(At("team"), fs::perms(02775));
       },
       nullptr, {}, false, succeeds, [&] { EXPECT_EQ(Names("team"), std::set<std::string>{"report.txt"}); }},
      // The Windows build's calls take no path beyond MAX_PATH under wine.
      {"leftovers of a killed run beside a name of 250 bytes", TBuilds::Native, "team\\" + longName,
       [&] {
         Folder("team", fs::perms(02777));
         Write("team\\" + cut, "left by a killed run");
       },
       nullptr, {}, false, succeeds, [&] { EXPECT_EQ(Names("team"), std::set<std::string>{longName}); }},
      {"a report only its owner may read", TBuilds::Both, "team\\report.txt",
       [&] {
         Folder("team", fs::perms(02777));
         Write("team\\report.txt", "private\r\n");
         fs::permissions(At("team\\report.txt"), fs::perms(0600));
       },
       nullptr, {}, false, succeeds,
       [&] {
         const fs::perms mode = fs::status(At("team\\report.txt")).permissions();
         // Wine gives a file's group the owner's rights (less the umask): it
         // maps the rights of Windows users to the three POSIX classes.
         EXPECT_EQ(mode & (Wine() ? fs::perms::others_all : fs::perms(077)), fs::perms::none);
       }},
      {"a report of another user keeps its owner", TBuilds::Both, "team\\report.txt",
       [&] {
         Folder("team", fs::perms(02777));
         AsAttacker("umask 027; echo theirs > team/report.txt");
       },
       nullptr, {}, false, succeeds,
       [&] {
         struct stat info {};
         ASSERT_EQ(0, stat(At("team\\report.txt").c_str(), &info));
         // Wine keeps no owner but the one who creates a file; it gives the
         // owner's rights that the new file names to its POSIX owner class.
         if (!Wine()) {
           EXPECT_EQ(65534u, info.st_uid);
           EXPECT_EQ(0640u, info.st_mode & 07777);
         } else {
           EXPECT_EQ(0600u, info.st_mode & 0600);
         }
       }},
      {"a folder link in the output's path", TBuilds::Both, "sticky\\reports\\report.txt",
       [&] {
         Folder("sticky", fs::perms(01777));
         AsAttacker("ln -s ../rootonly sticky/reports");
       },
       nullptr, {}, false, fails("sticky\\reports\\report.txt"),
       [&] { EXPECT_EQ(Names("rootonly"), std::set<std::string>{"secret.txt"}); }},
      {"a lock that is never let go", TBuilds::Both, "team\\report.txt",
       [&] {
         Folder("team", fs::perms(02777));
         Write("team\\report.txt", "team report\r\n");
       },
       [] {}, {"/LOCKWAIT=2"}, false,
       [&] {
         // Wine names the owner of a file of another user so.
         return "The lock file " + Shown("team\\report.txt.lock") + " is still held by " +
                (Wine() ? "ANONYMOUS LOGON" : "nobody") + " after 2 seconds: the output stays as it was!";
       },
       [&] { EXPECT_EQ("team report\r\n", Read("team\\report.txt")); }},
  };
  for (const TAttack& a : attacks) {
    SCOPED_TRACE(a.Name);
    if (a.Builds == TBuilds::Native && Wine()) continue;
    a.Arrange();
    if (HasFatalFailure()) return;
    std::vector<std::string> args =
        SampleArgs({a.VictimIsNobody ? "/DATE=.ge-7" : "/DATE=.ge10.05.2003", "/OUTPUT=" + a.Output});
    args.insert(args.begin(), a.Extra.begin(), a.Extra.end());
    PrepareRegistry();
    TRunResult r;
    {
      std::optional<TLockHolder> lock;
      if (a.WhileWaiting) lock.emplace(At(a.Output), a.VictimIsNobody ? 0 : 65534, a.LockMode);
      TChild child = StartProcess(a.VictimIsNobody ? AsNobody(args) : Program().Command(WithIniSwitches(args)), FDir,
                                  Environment());
      if (lock && a.VictimIsNobody && (a.LockMode & 044) == 0) {
        // A run that may not even open the lock file shows its wait by no
        // handle: it is given longer than any retry of an open takes.
        sleep(3);
      } else if (lock) {
        for (int i = 0; i < 3000 && !OpenedElsewhere(lock->Path()); ++i) usleep(10000);
        EXPECT_TRUE(OpenedElsewhere(lock->Path())) << "the run never came to wait for the lock";
      }
      if (lock) {
        a.WhileWaiting();
        // A lock never let go stays held until the run gives up.
        if (!a.Extra.empty()) r = FinishProcess(child);
        lock->Release();
      }
      if (child.Pid > 0) r = FinishProcess(child);
    }
    const std::string failure = a.Failure();
    if (failure.empty()) {
      ExpectSuccess(r);
    } else {
      EXPECT_EQ(r.ExitCode, 1);
      EXPECT_EQ(r.Out, failure + ConsoleLineEnd());
    }
    a.Check();
    // Never a temporary or lock file left behind.
    for (const char* folder : {"team", "sticky", "theirs"}) {
      if (!fs::exists(At(folder))) continue;
      for (const std::string& name : Names(folder))
        EXPECT_TRUE((name.find(".~") == std::string::npos && !name.ends_with(".lock")) ||
                    name == "report.txt.~999-0")
            << name;
    }
    std::error_code ignored;
    for (const char* folder : {"team", "sticky", "theirs"}) fs::remove_all(At(folder), ignored);
  }
}

// An interrupted run takes its temporary files and its lock along, and the
// output stays as it was. The run is held in the middle by its log, a pipe
// the test writes half a log into. Under wine only Ctrl-C, of a program with
// a console (a terminal as its input): wine ends a program at SIGTERM and
// SIGHUP without telling it, and without a console it ignores SIGINT.
TEST_F(SharedFolders, AnInterruptedRunLeavesNothingBehind) {
  const std::string log = SampleLog;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    if (Wine() && signal != SIGINT) continue;
    Write("out\\report.txt", "earlier\r\n");
    const fs::path pipe = At("in\\cvs.pipe");
    fs::create_directories(pipe.parent_path());
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    PrepareRegistry();
    TChild child = StartProcess(
        Program().Command(WithIniSwitches(SampleArgs({"/DATE=.ge10.05.2003", "/INPUT=in\\cvs.pipe"}))), FDir,
        Environment(), Wine() ? ptsname(terminal) : "/dev/null");
    const int writer = open(pipe.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(static_cast<ssize_t>(log.size() / 2), write(writer, log.data(), log.size() / 2));
    bool started = false;
    for (int i = 0; i < 3000 && !started; ++i) {
      for (const std::string& name : Names("out")) started = started || name.find(".~") != std::string::npos;
      if (!started) usleep(10000);
    }
    EXPECT_TRUE(started) << "the run never made its temporary file";
    EXPECT_TRUE(Exists("out\\report.txt.lock"));
    kill(-child.Pid, signal);
    // Gone while the log is still open: by the signal, not by the end of the log.
    for (int i = 0; i < 1000 && Names("out").size() > 1; ++i) usleep(10000);
    EXPECT_EQ(Names("out"), std::set<std::string>{"report.txt"});
    EXPECT_EQ(Read("out\\report.txt"), "earlier\r\n");
    close(writer);
    FinishProcess(child);
    close(terminal);
    fs::remove(pipe);
  }
}

// One lock protocol for two users and both builds: runs of root and of the
// other user, of the native program and (in the Windows leg) of Quillet.exe,
// started at once on one output in a team folder, keep every report.
TEST_F(SharedFolders, TwoUsersAndBothBuildsKeepEveryReport) {
  Write("in\\cvs.log", CvsLog({{"proj/a.c", {{"1.1", IsoDate(LocalDate()), "dev1", "Today."}}}}));
  Folder("team", fs::perms(02777));
  Write("team\\report.txt", "earliest\r\n");
  PrepareRegistry();
  WriteFile(FDir / "hkcu.reg", RegistryText());
  const std::map<std::string, std::string> nativeEnvironment{{"HKCU_FILE", (FDir / "hkcu.reg").string()}};
  int runs = 0;
  for (int round = 0; round < 20; ++round) {
    std::vector<TChild> children;
    for (const bool nobody : {false, true}) {
      for (const bool windows : {false, true}) {
        if (windows && !Wine()) continue;
        const std::vector<std::string> args = {"/DATE=.ge-1", "/AUTHOR=dev1", "/PERSON=p" + std::to_string(runs++),
                                               "/INPUT=in\\cvs.log", "/OUTPUT=team\\report.txt"};
        std::vector<std::string> command = windows ? Program().Command(WithIniSwitches(args)) : WithIniSwitches(args);
        if (!windows) command.insert(command.begin(), QUILLET_NATIVE_PROGRAM);
        if (nobody && windows) command = AsNobody(args);
        if (nobody && !windows)
          command.insert(command.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        children.push_back(StartProcess(command, FDir, windows ? std::map<std::string, std::string>{}
                                                              : nativeEnvironment));
      }
    }
    for (TChild& child : children) {
      const TRunResult r = FinishProcess(child);
      EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    }
  }
  const std::string all = Read("team\\report.txt");
  for (int i = 0; i < runs; ++i) EXPECT_EQ(Count(all, "User: p" + std::to_string(i) + "\r\n"), 1u) << i;
  EXPECT_TRUE(all.ends_with("\r\nearliest\r\n"));
  EXPECT_EQ(Names("team"), std::set<std::string>{"report.txt"});
}

}  // namespace
