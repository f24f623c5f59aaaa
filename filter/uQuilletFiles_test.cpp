// The run's transaction on real files: the report goes in front of the old
// output through a temporary file under a lock, and no failure loses a report.
#include "filter/uQuillet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "filter/uEngineTestFixture.h"
#include "test/uFaultyFiles.h"
#include "test/uTestSupport.h"

namespace {
class QuilletFiles : public Quillet {
protected:
  void Configure(TQuillet& engine, const std::string& input, const std::string& output) {
    engine.SetDateOperator(Op(".GE"));
    engine.SetDate("2003/05/10");
    engine.SetPerson("tester");
    engine.SetAuthor("dev1");
    engine.SetInputFile("\"" + input + "\"");
    engine.SetOutputFile(output);
  }
  std::size_t FileCount() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(FDir.Path())) ++n;
    return n;
  }
  TTempDir FDir;
};

TEST_F(QuilletFiles, ReportGoesInFrontOfTheOldOutput) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(in, WorkedExampleInput);
  WriteBytes(out, "old report\n");
  TQuillet engine(TestEnvironment());
  Configure(engine, in, out);
  engine.Run();
  const std::string report = Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1");
  EXPECT_EQ(report + "old report\r\n", ReadBytes(out));
  EXPECT_EQ(2u, FileCount()) << "no temporary or lock file stays behind";
  // Parts asked for, but no end row to cut behind (only the last one): the
  // search for one must not move where the single part reads.
  const std::string noEndRows = WorkedExampleInput.substr(0, WorkedExampleInput.find("====")) + EndRow + "\n";
  WriteBytes(in, noEndRows);
  WriteBytes(out, "");
  TQuillet parts(TestEnvironment());
  Configure(parts, in, out);
  parts.SetParts(3);
  parts.Run();
  EXPECT_EQ(Filter(noEndRows, ".GE", "2003/05/10", "dev1"), ReadBytes(out));
}

TEST_F(QuilletFiles, ALogCutShortIsRefusedInEveryCut) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  const std::string cutShort = "The file " + in + " ends inside a file section: the log is cut short!";
  const std::string last = Block("/cvsroot/x.c", "2003/05/12", "dev1");
  const struct {
    const char* Name;
    std::string Log;
    bool Refused;
  } cases[] = {
      {"closed, then a tool's line", WorkedExampleInput + "\ncvs log: Logging src\n", false},
      {"end row without a line break", WorkedExampleInput + last.substr(0, last.size() - 1), false},
      {"cut inside a message", WorkedExampleInput + last.substr(0, last.find("Message.") + 4), true},
      {"cut inside the end row", WorkedExampleInput + "RCS file: /cvsroot/x.c,v\n" + std::string(40, '='), true},
      {"a section start behind the last end row", WorkedExampleInput + "\nRCS file: /cvsroot/x.c,v\n", true},
  };
  for (const auto& c : cases)
    for (const std::size_t parts : {1, 3, 40}) {
      WriteBytes(in, c.Log);
      WriteBytes(out, "old\n");
      TQuillet engine(TestEnvironment());
      Configure(engine, in, out);
      engine.SetParts(parts);
      EXPECT_EQ(c.Refused ? cutShort : "(no failure)", failureOf([&] { engine.Run(); })) << c.Name << ", " << parts;
      if (c.Refused) {
        EXPECT_EQ("old\n", ReadBytes(out)) << c.Name;
      }
      EXPECT_EQ(2u, FileCount()) << "no temporary or lock file stays behind";
    }
}

TEST_F(QuilletFiles, InputAndOutputMayBeTheSameFile) {
  const std::string both = FDir.File("log.txt");
  WriteBytes(both, WorkedExampleInput);
  TQuillet engine(TestEnvironment());
  Configure(engine, both, both);
  engine.Run();
  // The report, the empty line, then the input's own lines ending in CR LF.
  std::string oldLines;
  for (char c : WorkedExampleInput) oldLines += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1") + oldLines, ReadBytes(both));
}

TEST_F(QuilletFiles, FileFailuresNameThePathAndLeaveTheOutputAlone) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(out, "keep me");
  TQuillet engine(TestEnvironment());
  Configure(engine, in, out);
  EXPECT_EQ("Datei " + in + " kann nicht ge\xF6" "ffnet werden", failureOf([&] { engine.Run(); }));
  EXPECT_EQ("keep me", ReadBytes(out));

  WriteBytes(in, WorkedExampleInput);
  const std::string nowhere = FDir.File("missing-folder") + "/report.txt";
  engine.SetOutputFile(nowhere);
  EXPECT_EQ("Datei " + nowhere + " kann nicht erstellt werden", failureOf([&] { engine.Run(); }));

  // An old output that exists but cannot be read is neither merged nor lost.
  const std::string folder = FDir.File("a-folder");
  std::filesystem::create_directory(folder);
  engine.SetOutputFile(folder);
  EXPECT_EQ("Datei " + folder + " kann nicht ge\xF6" "ffnet werden", failureOf([&] { engine.Run(); }));
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(3u, FileCount()) << "no temporary or lock file stays behind";
}

TEST_F(QuilletFiles, EveryFailingFileOperationLeavesTheOldOutputAndNothingElse) {
  // The old report takes several reads and writes of 512 KiB, so failures in
  // mid-stream are walked as well as the first and the last call.
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(in, WorkedExampleInput);
  std::string old;
  while (old.size() < (3u << 19)) old += "an earlier report's line\r\n";
  const std::string report = Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1") + old;
  const std::string inFails = "Datei " + in + " kann nicht ge\xF6" "ffnet werden";
  const std::string oldFails = "Datei " + out + " kann nicht ge\xF6" "ffnet werden";
  const std::string outFails = "Datei " + out + " kann nicht erstellt werden";
  using enum TFileOp;
  const struct {
    TFileOp Op;
    const char* Only;
    bool OutOfMemory;
    std::string Message;  // empty: the run stands
    std::size_t Parts = 1;  // 3: the log's later parts wait in temporary files ("report.txt.~...")
  } cases[] = {
      {OpenRead, "cvs.log", false, inFails},   {Read, "cvs.log", false, inFails},
      {Read, "cvs.log", true, SOutOfMemory},   {Lock, "", false, outFails},
      {IsReplaceable, "", false, outFails},    {OpenRead, "report.txt", false, oldFails},
      {Read, "report.txt", false, oldFails},   {Read, "report.txt", true, SOutOfMemory},
      {CreateTemp, "", false, outFails},       {Write, "", false, outFails},
      {Write, "", true, SOutOfMemory},         {Flush, "", false, outFails},
      {SameFile, "", false, outFails},        {Replace, "", false, outFails},
      // After the replacement only durability is at stake: the report stays.
      {FlushFolder, "", false, ""},
      {OpenRead, "cvs.log", false, inFails, 3}, {Read, "cvs.log", false, inFails, 3},
      {CreateTemp, "", false, outFails, 3},     {Write, ".~", false, outFails, 3},
      {Read, ".~", false, outFails, 3},
      {Read, ".~", true, SOutOfMemory, 3},
  };
  int points = 0;
  for (const auto& c : cases) {
    for (int n = 1;; ++n) {
      WriteBytes(out, old);
      TFaultyFiles faults({c.Op, c.Only, n, c.OutOfMemory}, 512u << 10);
      TQuillet engine(TestEnvironment(), faults);
      Configure(engine, in, out);
      engine.SetParts(c.Parts);
      const std::string message = failureOf([&] { engine.Run(); });
      const std::string where = c.Only + std::string(" call ") + std::to_string(n) + " of " +
                                std::to_string(static_cast<int>(c.Op)) + " in " + std::to_string(c.Parts) + " parts";
      EXPECT_EQ(2u, FileCount()) << "no temporary or lock file stays behind: " << where;
      if (!faults.Injected()) {
        EXPECT_GT(n, 1) << "no such call: " << where;
        EXPECT_EQ("(no failure)", message);
        break;
      }
      ++points;
      EXPECT_EQ(c.Message.empty() ? "(no failure)" : c.Message, message) << where;
      // A file that cannot be created gets the system's reason as one line,
      // about the lock file where the lock failed.
      ASSERT_EQ(c.Message == outFails ? 1u : 0u, faults.Told().size()) << where;
      if (c.Op == Lock) {
        EXPECT_EQ(out + ".lock", faults.Told()[0]);
      }
      EXPECT_EQ(c.Message.empty() ? report : old, ReadBytes(out)) << where;
    }
  }
  RecordProperty("FailurePoints", points);
}

TEST_F(QuilletFiles, UnreadableOldOutputFailsTheRun) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(in, WorkedExampleInput);
  WriteBytes(out, "secret");
  std::filesystem::permissions(out, std::filesystem::perms::none);
  if (ReadBytes(out) == "secret") GTEST_SKIP() << "this user reads files without read permission";
  TQuillet engine(TestEnvironment());
  Configure(engine, in, out);
  EXPECT_EQ("Datei " + out + " kann nicht ge\xF6" "ffnet werden", failureOf([&] { engine.Run(); }));
  std::filesystem::permissions(out, std::filesystem::perms::owner_all);
  EXPECT_EQ("secret", ReadBytes(out));
}

// Another user at work in a folder both can write: once the `nth` temporary
// file made (from 0) has had its first write, its name is given to a file of
// the other user's choosing, and the log's name to another log.
class TMeddlingFiles : public TRealFileSystem {
public:
  TMeddlingFiles(int nth, std::string log) : FNth(nth), FLog(std::move(log)) {}
  // The engine calls from several threads at once.
  std::optional<TOsFile> CreateTempBeside(const std::string& target, std::string& tempPath,
                                          std::optional<TOsFile> model = std::nullopt) override {
    const std::optional<TOsFile> file = TRealFileSystem::CreateTempBeside(target, tempPath, model);
    const std::lock_guard lock(FMutex);
    if (file && FNth-- == 0) FPaths[*file] = tempPath;
    return file;
  }
  bool Write(TOsFile file, const char* data, std::size_t size) override {
    return Meddle(file, TRealFileSystem::Write(file, data, size));
  }
  bool WriteAt(TOsFile file, std::uint64_t offset, const char* data, std::size_t size) override {
    return Meddle(file, TRealFileSystem::WriteAt(file, offset, data, size));
  }
  bool Swapped = false;

private:
  bool Meddle(TOsFile file, bool written) {
    const std::lock_guard lock(FMutex);
    const auto swap = FPaths.find(file);
    if (swap != FPaths.end()) {
      std::filesystem::rename(swap->second, swap->second + ".moved");
      WriteBytes(swap->second, "the other user's secret\r\n");
      // Windows keeps an open log from being renamed; POSIX does not.
      std::error_code refused;
      std::filesystem::rename(FLog, FLog + ".old", refused);
      if (!refused) WriteBytes(FLog, "RCS file: /cvsroot/other/log.c,v\n");
      FPaths.clear();
      Swapped = true;
    }
    return written;
  }

  int FNth;
  std::string FLog;
  std::map<TOsFile, std::string> FPaths;
  std::mutex FMutex;
};

TEST_F(QuilletFiles, NoFileIsReadOrReplacedByNameTwice) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  std::string log;
  for (int i = 0; i < 400; ++i) log += WorkedExampleInput;
  const std::string report = Filter(log, ".GE", "2003/05/10", "dev1");
  // Which temporary file is swapped: the report's own, which must then not
  // replace the output, or a later part's, whose report is read back all the same.
  const struct {
    std::size_t Parts;
    int Nth;
    bool Fails;
  } cases[] = {{1, 0, true}, {3, 0, true}, {3, 1, false}, {3, 2, false}};
  for (const auto& c : cases) {
    WriteBytes(in, log);
    WriteBytes(out, "old\r\n");
    TMeddlingFiles meddling(c.Nth, in);
    TQuillet engine(TestEnvironment(), meddling);
    Configure(engine, in, out);
    engine.SetParts(c.Parts);
    const std::string message = failureOf([&] { engine.Run(); });
    EXPECT_TRUE(meddling.Swapped) << c.Parts;
    EXPECT_EQ(c.Fails ? "Datei " + out + " kann nicht erstellt werden" : "(no failure)", message) << c.Parts;
    EXPECT_TRUE((c.Fails ? "old\r\n" : report + "old\r\n") == ReadBytes(out)) << c.Parts << " " << c.Nth;
    for (const auto& entry : std::filesystem::directory_iterator(FDir.Path()))
      if (entry.path().filename().string().find(".~") != std::string::npos) std::filesystem::remove(entry.path());
  }
}

// The real file system, with the reads of the log's middle held until a
// later part's report is first read back: that report is then joined while
// its part still writes it.
class THeldMiddle : public TRealFileSystem {
public:
  explicit THeldMiddle(std::string log) : FLogPath(std::move(log)) {}
  std::optional<TOsFile> OpenRead(const std::string& path) override {
    const std::optional<TOsFile> file = TRealFileSystem::OpenRead(path);
    if (file && path == FLogPath) FLog = file;
    return file;
  }
  std::optional<std::size_t> ReadAt(TOsFile file, std::uint64_t offset, char* buffer, std::size_t size) override {
    std::unique_lock lock(FMutex);
    if (file != FLog) {
      FReadBack = true;
      FChanged.notify_all();
    } else if (const std::uint64_t whole = *FileSize(file); offset >= whole / 2 && offset < whole / 10 * 6) {
      if (!FChanged.wait_for(lock, std::chrono::seconds(30), [this] { return FReadBack; })) TimedOut = true;
    }
    lock.unlock();
    return TRealFileSystem::ReadAt(file, offset, buffer, size);
  }
  bool TimedOut = false;

private:
  std::string FLogPath;
  std::optional<TOsFile> FLog;
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FReadBack = false;
};

TEST_F(QuilletFiles, ALaterPartIsJoinedWhileItIsWritten) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  // Every revision picked, with a long message, files in folders of 500: the
  // middle part writes megabytes before it is held, and the file it ends on
  // shares its folder with the next part's first.
  std::string log;
  for (int i = 0; i < 30000; ++i) {
    std::string block = Block("/cvsroot/p/d" + std::to_string(i / 500) + "/f" + std::to_string(i) + ".c",
                              "2003/05/10", "dev1");
    log += block.replace(block.find("Message."), 8, std::string(300, 'm'));
  }
  WriteBytes(in, log);
  TQuillet whole(TestEnvironment());
  Configure(whole, in, out);
  whole.SetParts(1);
  whole.Run();
  const std::string report = ReadBytes(out);
  std::filesystem::remove(out);
  THeldMiddle held(in);
  TQuillet parts(TestEnvironment(), held);
  Configure(parts, in, out);
  parts.SetParts(3);
  parts.Run();
  EXPECT_FALSE(held.TimedOut);
  EXPECT_TRUE(report == ReadBytes(out));
}

TEST_F(QuilletFiles, ConcurrentRunsOnOneOutputKeepEveryReport) {
  const std::string in = FDir.File("cvs.log"), out = FDir.File("report.txt");
  WriteBytes(in, WorkedExampleInput);
  constexpr int runs = 8;
  std::vector<std::thread> threads;
  std::vector<std::string> failures(runs);
  for (int i = 0; i < runs; ++i)
    threads.emplace_back([&, i] {
      try {
        TQuillet engine(TestEnvironment());
        Configure(engine, in, out);
        engine.SetPerson("runner" + std::to_string(i));
        engine.Run();
      } catch (const EFailure& failure) {
        failures[static_cast<std::size_t>(i)] = failure.Message();
      }
    });
  for (std::thread& thread : threads) thread.join();
  const std::string result = ReadBytes(out);
  const std::string one = Filter(WorkedExampleInput, ".GE", "2003/05/10", "dev1");
  // Every run adds its report and one empty line; "runnerN" is one letter longer than "tester".
  EXPECT_EQ((one.size() + 1) * runs, result.size());
  for (int i = 0; i < runs; ++i) {
    EXPECT_EQ("", failures[static_cast<std::size_t>(i)]);
    std::string header = "User: runner";
    header += std::to_string(i);  // (one expression: g++ 12 warns falsely of overlapping copies)
    header += "\r\n";
    const std::size_t at = result.find(header);
    ASSERT_NE(std::string::npos, at) << i;
    EXPECT_EQ(std::string::npos, result.find(header, at + 1)) << i;
  }
  EXPECT_EQ(2u, FileCount());
}
}  // namespace
