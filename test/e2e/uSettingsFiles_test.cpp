// Settings files that are no files or not the user's, a volume too small for a
// second copy of the report, and lines far longer than the memory a run may
// take: each row sets a trap as another user (or a careless one) would, then
// the run as root must refuse it with one clear line, or get through it.
#include <sys/mount.h>
#include <sys/resource.h>

#include <optional>

#include "test/e2e/uEndToEnd.h"

namespace e2e {
namespace {

class SettingsFiles : public QuilletEndToEnd {
protected:
  /// One run with `hkcu` (natively, a file of the working folder or an
  /// absolute path; empty: the usual one) as the registry file; `maxRssKb` gets the most memory the
  /// run's processes held. The run goes through a child of this process of
  /// its own, so that earlier runs do not count.
  TRunResult RunMeasured(const std::vector<std::string>& args, const std::string& hkcu, long& maxRssKb) {
    PrepareRegistry();
    auto env = Environment();
    if (!hkcu.empty()) env["HKCU_FILE"] = hkcu[0] == '/' ? hkcu : At(hkcu).string();
    const auto argv = Program().Command(WithIniSwitches(args));
    const fs::path out = FDir / "run.out", err = FDir / "run.err", rss = FDir / "run.rss";
    const pid_t pid = fork();
    if (pid == 0) {
      TChild child = StartProcess(argv, FDir, env);
      const TRunResult r = FinishProcess(child, 60);
      rusage usage{};
      getrusage(RUSAGE_CHILDREN, &usage);
      WriteFile(out, r.Out);
      WriteFile(err, r.Err);
      WriteFile(rss, std::to_string(r.ExitCode) + " " + std::to_string(usage.ru_maxrss));
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    TRunResult r;
    std::istringstream(ReadFile(rss)) >> r.ExitCode >> maxRssKb;
    r.Out = ReadFile(out);
    r.Err = ReadFile(err);
    return r;
  }
};

/// A tmpfs of `mib` MiB mounted on `at` while it lives; Mounted() false where
/// this process may not mount.
class TSmallVolume {
public:
  TSmallVolume(const fs::path& at, int mib) : FAt(at) {
    fs::create_directories(at);
    FMounted = mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + std::to_string(mib) + "m").c_str()) == 0;
    if (FMounted) fs::permissions(at, fs::perms::all);
  }
  ~TSmallVolume() {
    if (FMounted) umount2(FAt.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return FMounted; }

private:
  fs::path FAt;
  bool FMounted = false;
};

// A log of `sections` picked files, each with `lines` message lines of 1000 bytes.
std::string WideLog(int sections, int lines) {
  const std::string line(1000, 'm');
  std::string log;
  for (int s = 0; s < sections; ++s) {
    log += "RCS file: /cvsroot/p/f" + std::to_string(s) + ".c,v\ndescription:\n----------------------------\n"
           "revision 1.2\ndate: 2003/05/12 10:11:12;  author: dev1;  state: Exp;\n";
    for (int l = 0; l < lines; ++l) log += line + "\n";
    log += std::string(77, '=') + "\n";
  }
  return log;
}

TEST_F(SettingsFiles, TrapsOfOtherUsersAndFilesBeyondTheBounds) {
  const bool root = geteuid() == 0;
  Write("in\\cvs.log", SampleLog);
  Write("secret.txt", "root only\r\n");
  fs::permissions(At("secret.txt"), fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(FDir, fs::perms::all);
  // The INI folder is a sticky one that everybody may write.
  fs::create_directories(At("conf"));
  fs::permissions(At("conf"), fs::perms(01777));
  auto plantLink = [&](const std::string& name, const std::string& target) {
    fs::create_symlink(At(target), At(name));
    ASSERT_EQ(0, lchown(At(name).c_str(), 65534, 65534));
  };
  // `name` made another user's link to a folder only root may enter.
  auto theirFolder = [&](const std::string& name) {
    fs::create_directories(At("rootonly"));
    fs::permissions(At("rootonly"), fs::perms::owner_all);
    if (fs::exists(At(name))) fs::rename(At(name), At(name + ".kept"));
    plantLink(name, "rootonly");
  };
  auto ourFolder = [&](const std::string& name) {
    fs::remove(At(name));
    fs::rename(At(name + ".kept"), At(name));
  };
  auto fifo = [&](const std::string& name) { ASSERT_EQ(0, mkfifo(At(name).c_str(), 0666)); };
  // Made where needed, not held: what this process holds, a run's child holds
  // too until it starts the program, and that would hide what the run takes.
  auto longLine = [] { return std::string(40u << 20, 'L'); };
  std::optional<TSmallVolume> volume;
  long baselineKb = 0;
  const struct {
    const char* Name;
    bool NativeOnly, NeedsRoot;
    std::function<void()> Arrange;
    std::vector<std::string> Args;
    std::string Registry;  // natively the registry file, in the working folder
    std::string Failure;   // "" for success
    std::function<void(const TRunResult&, long maxRssKb)> Check;
  } rows[] = {
      {"an INI file that is another user's link, at an export", false, true,
       [&] { plantLink("conf\\e2e.ini", "secret.txt"); }, {"/WRITEINI=all"}, "",
       "conf\\e2e.ini is a link of another user and is not read",
       [&](const TRunResult&, long) {
         EXPECT_EQ("root only\r\n", Read("secret.txt"));
         EXPECT_TRUE(fs::is_symlink(At("conf\\e2e.ini")));
       }},
      {"a registry file that is another user's link, at an export", true, true,
       [&] { plantLink("hk.lnk", "secret.txt"); }, {"/WRITEREG=all"}, "hk.lnk",
       At("hk.lnk").string() + " is a link of another user and is not read",
       [&](const TRunResult&, long) { EXPECT_EQ("root only\r\n", Read("secret.txt")); }},
      // The INI folder itself, or the registry file's, is another user's
      // link to a folder only root may write.
      {"an INI folder that is another user's link", false, true,
       [&] {
         theirFolder("conf");
         Write("rootonly\\e2e.ini", "[PARAMETERS]\r\nAUTHOR=nobody\r\n");
       },
       SampleArgs({"/DATE=.ge10.05.2003"}), "", "conf\\e2e.ini is a link of another user and is not read",
       [&](const TRunResult&, long) {
         EXPECT_FALSE(Exists("out\\report.txt"));
         fs::remove(At("rootonly\\e2e.ini"));
         ourFolder("conf");
       }},
      {"an INI folder that is another user's link, at an export", false, true, [&] { theirFolder("conf"); },
       {"/WRITEINI=all"}, "", "conf\\e2e.ini is a link of another user and is not read",
       [&](const TRunResult&, long) {
         EXPECT_FALSE(Exists("rootonly\\e2e.ini"));
         ourFolder("conf");
       }},
      {"a registry folder that is another user's link, at an export", true, true, [&] { theirFolder("hk"); },
       {"/WRITEREG=all"}, "hk\\new\\hk.reg",
       At("hk\\new\\hk.reg").string() + " is a link of another user and is not read",
       [&](const TRunResult&, long) { EXPECT_FALSE(Exists("rootonly\\new")); }},
      {"a FIFO as INI file", false, false, [&] { fifo("conf\\e2e.ini"); }, SampleArgs({"/DATE=.ge10.05.2003"}), "",
       "conf\\e2e.ini is not a file and is not read", [&](const TRunResult&, long) {
         EXPECT_FALSE(Exists("out\\report.txt"));
       }},
      {"a FIFO as registry file", true, false, [&] { fifo("hk.fifo"); }, SampleArgs({"/DATE=.ge10.05.2003"}),
       "hk.fifo", At("hk.fifo").string() + " is not a file and is not read", [](const TRunResult&, long) {}},
      {"the zero device as registry file", true, false, [] {}, SampleArgs({"/DATE=.ge10.05.2003"}), "/dev/zero",
       "/dev/zero is not a file and is not read", [](const TRunResult&, long) {}},
      {"an INI file beyond 16 MiB", false, false,
       [&] { Write("conf\\e2e.ini", "[PARAMETERS]\r\nDATE=.ge10.05.2003\r\n" + std::string(16u << 20, ';')); },
       SampleArgs({}), "", "conf\\e2e.ini is larger than 16 MiB and is not read", [](const TRunResult&, long) {}},
      {"lines of 40 MiB inside and outside a picked section", false, false,
       [&] {
         Write("in\\long.log", longLine() + "\n" + SampleLog + "RCS file: /cvsroot/proj/b.c,v\n" +
                                   "----------------------------\nrevision 1.1\n" +
                                   "date: 2003/05/12 10:11:12;  author: dev1;\nm\n" + longLine() + "\r\nn\n" +
                                   std::string(77, '=') + "\n" + longLine());
       },
       SampleArgs({"/DATE=.ge10.05.2003", "/INPUT=in\\long.log"}), "", "",
       [&](const TRunResult&, long maxRssKb) {
         EXPECT_EQ(Read("out\\report.txt"), Header("tester", LocalDate()) +
                                               CrLf(SampleReportBody) + CrLf({"    b.c", "        m"}) +
                                               "        " + longLine() + "\r\n" + CrLf({"        n", ""}));
         // A sanitizer's own bookkeeping grows with what the run touches.
         if (!std::getenv("ASAN_OPTIONS") && !std::getenv("TSAN_OPTIONS")) {
           EXPECT_LT(maxRssKb, baselineKb + (16 << 10)) << "baseline " << baselineKb << " KiB";
         }
       }},
      {"a log in parts on a volume that holds one report", false, true,
       [&] {
         Write("in\\wide.log", WideLog(720, 100));
         volume.emplace(At("vol"), 90);
         if (!volume->Mounted()) GTEST_SKIP() << "cannot mount a small volume here";
       },
       SampleArgs({"/DATE=.ge10.05.2003", "/INPUT=in\\wide.log", "/OUTPUT=vol\\report.txt"}), "", "",
       [&](const TRunResult&, long) {
         EXPECT_EQ(720u, Count(Read("vol\\report.txt"), ".c\r\n"));
         volume.reset();
       }},
  };
  // What a run takes anyway, for the row that bounds the memory.
  ExpectSuccess(RunMeasured(SampleArgs({"/DATE=.ge10.05.2003"}), "", baselineKb));
  fs::remove(At("out\\report.txt"));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    if ((row.NativeOnly && Wine()) || (row.NeedsRoot && !root)) continue;
    std::error_code ignored;
    fs::remove(At("conf\\e2e.ini"), ignored);
    row.Arrange();
    if (::testing::Test::HasFatalFailure() || ::testing::Test::IsSkipped()) return;
    long maxRssKb = 0;
    const TRunResult r = RunMeasured(row.Args, row.Registry, maxRssKb);
    if (row.Failure.empty()) {
      ExpectSuccess(r);
    } else {
      EXPECT_EQ(r.ExitCode, 1);
      EXPECT_EQ(r.Out, Shown(row.Failure) + ConsoleLineEnd());
    }
    row.Check(r, maxRssKb);
    fs::remove(At("out\\report.txt"), ignored);
  }
}

}  // namespace
}  // namespace e2e
