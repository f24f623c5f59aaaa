// Contract of uOsFiles.h; the same tests run natively and under wine.
#include "Bibliothek/Plattform/uOsFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "test/uTestSupport.h"

namespace {
bool IsPosix() { return OsNativePath("a\\b") == "a/b"; }

// The bytes the file system holds for a file (POSIX; 0 in the Windows build,
// which gives no space back).
std::uintmax_t DiskUsage(const std::string& path) {
#if defined(_WIN32)
  (void)path;
  return 0;
#else
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<std::uintmax_t>(info.st_blocks) * 512 : 0;
#endif
}

std::string ReadAll(TOsFile file, std::size_t chunk = 7) {
  std::string text, buffer(chunk, '\0');
  while (const std::optional<std::size_t> n = OsReadFile(file, buffer.data(), buffer.size())) {
    if (*n == 0) break;
    text.append(buffer, 0, *n);
  }
  return text;
}

void WriteFileWith(const std::string& path, const std::string& bytes) {
  const std::optional<TOsFile> file = OsCreateFile(path);
  ASSERT_TRUE(file.has_value()) << path;
  EXPECT_TRUE(OsWriteFile(*file, bytes.data(), bytes.size()));
  // Closing waits for a write-back still under way (Win32: on another thread).
  EXPECT_TRUE(OsStartWriteBack(*file, 0, bytes.size()));
  OsCloseFile(*file);
}

TEST(OsFiles, DirectoriesAndBackslashPaths) {
  TTempDir dir;
  const std::string sub = dir.Path() + "\\sub";
  EXPECT_FALSE(OsDirectoryExists(sub));
  EXPECT_FALSE(OsFileExists(sub));
  EXPECT_TRUE(OsCreateDirectory(sub));
  EXPECT_TRUE(OsDirectoryExists(sub));
  EXPECT_FALSE(OsCreateDirectory(sub));
  WriteFileWith(sub + "\\f.txt", "x");
  EXPECT_TRUE(OsFileExists(sub + "\\f.txt"));
  EXPECT_FALSE(OsDirectoryExists(sub + "\\f.txt"));
  EXPECT_EQ(IsPosix() ? "a/b/c" : "a\\b/c", OsNativePath("a\\b/c"));
}

TEST(OsFiles, WrittenBytesReadBackExactly) {
  TTempDir dir;
  const std::string path = dir.File("data.bin");
  std::string bytes = "line\r\nlone\rcr\nnul:";
  bytes += '\0';
  bytes += "\xF6 end";
  WriteFileWith(path, bytes);
  const std::optional<TOsFile> file = OsOpenRead(path);
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(bytes.size(), OsFileSize(*file));
  EXPECT_EQ(bytes, ReadAll(*file));
  EXPECT_TRUE(OsSeekFile(*file, 6));
  EXPECT_EQ(bytes.substr(6), ReadAll(*file, 1000));
  // Reads at a place: inside, at the end and beyond it.
  char piece[64];
  for (const std::size_t at : {std::size_t{2}, bytes.size(), bytes.size() + 100}) {
    const std::string expected = at < bytes.size() ? bytes.substr(at) : "";
    EXPECT_EQ(std::optional(expected.size()), OsReadFileAt(*file, at, piece, sizeof piece)) << at;
    EXPECT_EQ(expected, std::string(piece, expected.size())) << at;
  }
  OsCloseFile(*file);
  WriteFileWith(path, "short");  // creating truncates
  EXPECT_EQ("short", ReadBytes(path));
  const std::optional<TOsFile> writeOnly = OsCreateFile(path);
  ASSERT_TRUE(writeOnly.has_value());
  EXPECT_EQ(std::nullopt, OsReadFileAt(*writeOnly, 0, piece, sizeof piece));
  EXPECT_NE("", OsLastFileFailure());
  OsCloseFile(*writeOnly);
}

TEST(OsFiles, MissingFilesReportAnError) {
  TTempDir dir;
  int error = 0;
  EXPECT_FALSE(OsOpenRead(dir.File("missing"), &error).has_value());
  EXPECT_NE(0, error);
  EXPECT_FALSE(OsCreateFile(dir.File("no-folder") + "/x").has_value());
  EXPECT_NE("", OsLastFileFailure());
  EXPECT_FALSE(OsRemoveFile(dir.File("missing")));
}

TEST(OsFiles, ReadersShareAFileWithReadersOnly) {
  TTempDir dir;
  const std::string path = dir.File("shared.txt");
  WriteFileWith(path, "text");
  const std::optional<TOsFile> first = OsOpenRead(path);
  ASSERT_TRUE(first.has_value());
  const std::optional<TOsFile> second = OsOpenRead(path);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ("text", ReadAll(*second));
  OsCloseFile(*second);
  if (!IsPosix()) {
    EXPECT_FALSE(OsCreateFile(path).has_value()) << "a writer must be kept out";
  }
  OsCloseFile(*first);
  if (IsPosix()) GTEST_SKIP() << "POSIX has no share modes; writers are not kept out";
}

TEST(OsFiles, TempFileBesideReplacesTheTargetInOneStep) {
  TTempDir dir;
  const std::string target = dir.File("report.txt");
  WriteFileWith(target, "old");
  std::string tempA, tempB;
  const std::optional<TOsFile> a = OsCreateTempFileBeside(target, tempA);
  const std::optional<TOsFile> b = OsCreateTempFileBeside(target, tempB);
  ASSERT_TRUE(a && b);
  EXPECT_NE(tempA, tempB);
  EXPECT_EQ(0u, tempA.rfind(target, 0)) << tempA;
  EXPECT_TRUE(OsWriteFile(*a, "new", 3));
  EXPECT_TRUE(OsFlushFile(*a));
  OsCloseFile(*a);
  OsCloseFile(*b);
  EXPECT_TRUE(OsReplaceFile(tempA, target));
  EXPECT_EQ("new", ReadBytes(target));
  EXPECT_FALSE(OsFileExists(tempA));
  EXPECT_TRUE(OsRemoveFile(tempB));
  EXPECT_FALSE(OsFileExists(tempB));
  EXPECT_FALSE(OsCreateTempFileBeside(dir.File("no-folder") + "/r.txt", tempA).has_value());
}

TEST(OsFiles, ReplacingKeepsPermissionsAndFollowsALink) {
  if (!IsPosix()) GTEST_SKIP() << "Windows replaces the file with the folder's inherited rights";
  namespace fs = std::filesystem;
  TTempDir dir;
  const std::string real = dir.File("reports.txt"), link = dir.File("link.txt");
  WriteFileWith(real, "old");
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::group_write);
  std::error_code ec;
  fs::create_symlink(real, link, ec);
  ASSERT_FALSE(ec) << ec.message();

  std::string temp;
  const std::optional<TOsFile> file = OsCreateTempFileBeside(link, temp);
  ASSERT_TRUE(file.has_value());
  EXPECT_TRUE(OsWriteFile(*file, "new", 3));
  OsCloseFile(*file);
  ASSERT_TRUE(OsReplaceFile(temp, link));

  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ("new", ReadBytes(real));
  EXPECT_EQ(fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write,
            fs::status(real).permissions() & fs::perms::all);
}

TEST(OsFiles, LockWaitsForTheHolderAndLeavesNoFile) {
  TTempDir dir;
  const std::string lockPath = dir.File("report.txt.lock");
  const std::optional<TOsFile> held = OsLockFile(lockPath);
  ASSERT_TRUE(held.has_value());
  std::atomic<bool> taken{false};
  std::thread other([&] {
    const std::optional<TOsFile> mine = OsLockFile(lockPath);
    taken = mine.has_value();
    if (mine) OsUnlockFile(*mine, lockPath);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(taken) << "the second lock must wait";
  OsUnlockFile(*held, lockPath);
  other.join();
  EXPECT_TRUE(taken);
  EXPECT_FALSE(OsFileExists(lockPath));
}

TEST(OsFiles, OffsetsBeyondFourGiB) {
  TTempDir dir;
  const std::string path = dir.File("sparse.bin");
  const std::uint64_t far = (5ull << 30) + 3;
  {
    const std::optional<TOsFile> file = OsCreateFile(path);
    ASSERT_TRUE(file.has_value());
    ASSERT_TRUE(OsSeekFile(*file, far));
    ASSERT_TRUE(OsWriteFile(*file, "end", 3));
    OsCloseFile(*file);
  }
  const std::optional<TOsFile> file = OsOpenRead(path);
  ASSERT_TRUE(file.has_value());
  ASSERT_TRUE(OsSeekFile(*file, far + 1));
  EXPECT_EQ("nd", ReadAll(*file));
  char tail[4];
  EXPECT_EQ(std::optional<std::size_t>(3), OsReadFileAt(*file, far, tail, sizeof tail));
  EXPECT_EQ("end", std::string(tail, 3));
  OsCloseFile(*file);
  EXPECT_TRUE(OsRemoveFile(path));
}
// Outputs that are links, devices or leftovers of killed runs.
TEST(OsFiles, ReplacedPathFollowsLinksAndOnlyRegularFilesAreReplaceable) {
  if (!IsPosix()) GTEST_SKIP() << "symbolic links and devices are a POSIX matter here";
  namespace fs = std::filesystem;
  TTempDir dir;
  WriteFileWith(dir.File("real.txt"), "x");
  fs::create_symlink("real.txt", dir.File("link.txt"));
  fs::create_symlink("link.txt", dir.File("chain.txt"));
  fs::create_symlink("missing.txt", dir.File("dangling.txt"));
  fs::create_symlink("/dev/null", dir.File("devnull"));
  const struct {
    const char* Name;
    std::string Replaced;
    bool Replaceable;
  } rows[] = {
      {"real.txt", dir.File("real.txt"), true},       {"link.txt", dir.File("real.txt"), true},
      {"chain.txt", dir.File("real.txt"), true},      {"dangling.txt", dir.File("missing.txt"), true},
      {"nothing.txt", dir.File("nothing.txt"), true}, {"devnull", "/dev/null", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.Replaced, OsReplacedFilePath(dir.File(row.Name))) << row.Name;
    EXPECT_EQ(row.Replaceable, OsIsReplaceable(dir.File(row.Name))) << row.Name;
  }
  EXPECT_NE("", OsLastFileFailure());
}

TEST(OsFiles, DiscardedRangesGiveTheirSpaceBack) {
  TTempDir dir;
  std::string path;
  const std::optional<TOsFile> file = OsCreateTempFileBeside(dir.File("out.txt"), path);
  ASSERT_TRUE(file.has_value());
  const std::string bytes(4u << 20, 'x');
  ASSERT_TRUE(OsWriteFile(*file, bytes.data(), bytes.size()));
  ASSERT_TRUE(OsFlushFile(*file));
  const std::uintmax_t before = DiskUsage(path);
  if (!OsDiscardFileRange(*file, 0, 3u << 20)) {
    OsCloseFile(*file);
    GTEST_SKIP() << "this system cannot give a file's space back";
  }
  char tail[4];
  EXPECT_EQ(std::optional<std::size_t>(4), OsReadFileAt(*file, (4u << 20) - 4, tail, sizeof tail));
  EXPECT_EQ("xxxx", std::string(tail, 4));
  EXPECT_EQ(std::optional<std::size_t>(4), OsReadFileAt(*file, 0, tail, sizeof tail));
  EXPECT_EQ(std::string(4, '\0'), std::string(tail, 4));
  EXPECT_LE(DiskUsage(path), before / 2);
  OsCloseFile(*file);
}

TEST(OsFiles, StaleTempFilesAreThoseNoHandleHoldsLocked) {
  TTempDir dir;
  const std::string target = dir.File("out.txt");
  std::string live, ended;
  const std::optional<TOsFile> mine = OsCreateTempFileBeside(target, live);
  const std::optional<TOsFile> closed = OsCreateTempFileBeside(target, ended);
  ASSERT_TRUE(mine.has_value() && closed.has_value());
  OsCloseFile(*closed);
  // Not named like a temporary file: never touched.
  const char* const kept[] = {"out.txt.~99999999", "out.txt.~x-1", "out.txt.~99999999-1x", "other.txt.~99999999-1"};
  for (const char* name : kept) WriteFileWith(dir.File(name), "k");
  // A run that was process 1 of its namespace, or this very process number.
  WriteFileWith(dir.File("out.txt.~1-7"), "left by a killed run");
  OsRemoveStaleTempFiles(target);
  EXPECT_FALSE(OsFileExists(dir.File("out.txt.~1-7")));
  EXPECT_FALSE(OsFileExists(ended));
  EXPECT_TRUE(OsFileExists(live));
  for (const char* name : kept) EXPECT_TRUE(OsFileExists(dir.File(name))) << name;
  OsCloseFile(*mine);
}
TEST(OsFiles, TempNamesAreTheTargetsNameCutToFitThenTwoNumbers) {
  const std::string longName(250, 'n');
  const struct {
    std::string Name, Target;
    bool Temp;
  } cases[] = {
      {"out.txt.~12-0", "out.txt", true},
      {"out.txt.~12-", "out.txt", false},
      {"out.txt.~-3", "out.txt", false},
      {"out.tx.~1-2", "out.txt", false},
      {"out.txt.~1-2", "out.tx", false},
      {longName + ".~1-2", longName, true},                         // 255 bytes: not cut
      {longName.substr(0, 246) + ".~99999-3", longName, true},      // cut to 255 bytes
      {longName.substr(0, 245) + ".~99999-3", longName, false},     // cut more: another target's
      {longName.substr(0, 246) + ".~99999-3", longName.substr(0, 246), true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Temp, OsIsTempName(c.Name, c.Target)) << c.Name.size() << " " << c.Name;
}

TEST(OsFiles, LockWaitEndsAtItsLimit) {
  TTempDir dir;
  const std::string lockPath = dir.File("report.txt.lock");
  const std::optional<TOsFile> held = OsLockFile(lockPath);
  ASSERT_TRUE(held.has_value());
  std::optional<TOsFile> mine;
  bool timedOut = false;
  std::thread other([&] { mine = OsLockFile(lockPath, 1, &timedOut); });
  other.join();
  EXPECT_FALSE(mine.has_value());
  EXPECT_TRUE(timedOut);
  OsUnlockFile(*held, lockPath);
  EXPECT_FALSE(OsFileExists(lockPath));
}
}  // namespace
