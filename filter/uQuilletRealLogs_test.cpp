// End-to-end runs over logs printed by the real cvs and rlog (test/data/logs).
// For each condition, the files a run reports must be the files that have a
// revision by the author on a date that meets the condition, Attic files left
// out; expected-revisions.tsv (made from manifest.json by
// tools/manifest-to-tsv.py) lists every printed revision.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "Bibliothek/uStringRoutines.h"
#include "filter/uEngineTestFixture.h"
#include "filter/uQuillet.h"
#include "filter/uQuilletTestEnvironment.h"
#include "test/uTestSupport.h"

namespace {
struct TRevision {
  std::string Log, Author, Date, ArchivePath;  // Date as yyyy-mm-dd
};

std::vector<TRevision> ExpectedRevisions() {
  std::ifstream in(TestDataDir() + "/logs/expected-revisions.tsv", std::ios::binary);
  std::vector<TRevision> revisions;
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    TRevision r;
    std::getline(fields, r.Log, '\t');
    std::getline(fields, r.Author, '\t');
    std::getline(fields, r.Date, '\t');
    std::getline(fields, r.ArchivePath, '\t');
    revisions.push_back(r);
  }
  return revisions;
}

bool Meets(const std::string& date, const std::string& op, const std::string& reference) {
  if (op == ".EQ") return date == reference;
  if (op == ".GT") return date > reference;
  if (op == ".GE") return date >= reference;
  if (op == ".LT") return date < reference;
  return date <= reference;  // .LE
}

// The report's path from an archive path: no ",v", nothing up to "/cvsroot/".
std::string ReportPath(std::string archivePath) {
  if (archivePath.size() >= 2 && archivePath.compare(archivePath.size() - 2, 2, ",v") == 0)
    archivePath.resize(archivePath.size() - 2);
  if (const auto at = archivePath.find("/cvsroot/"); at != std::string::npos) archivePath.erase(0, at + 9);
  return archivePath;
}

// The archive paths of a log's sections, in the log's order.
std::vector<std::string> SectionPaths(const std::string& log) {
  std::vector<std::string> paths;
  for (std::size_t at = 0; (at = log.find("RCS file: ", at)) != std::string::npos; ++at)
    if (at == 0 || log[at - 1] == '\n' || log[at - 1] == '\r')
      paths.push_back(log.substr(at + 10, log.find_first_of("\r\n", at) - at - 10));
  return paths;
}

// The files of a report, rebuilt from its folder tree. Copied lines stand
// deeper than their file line; every file or folder line after a copy stands
// less deep than it.
std::vector<std::string> ReportedFiles(const std::string& report) {
  std::vector<std::string> files;
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = report.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(report.substr(start, end - start));
  if (lines.size() < 3 || lines[0].rfind("User: ", 0) != 0) return files;
  std::vector<std::string> folders;
  std::size_t copyIndent = std::string::npos;
  for (std::size_t i = 3; i < lines.size() && !lines[i].empty(); ++i) {
    const std::size_t blanks = lines[i].find_first_not_of(' ') == std::string::npos
                                   ? lines[i].size()
                                   : lines[i].find_first_not_of(' ');
    if (copyIndent != std::string::npos && blanks >= copyIndent) continue;
    const std::string text = lines[i].substr(blanks);
    const std::size_t depth = blanks / 4;
    folders.resize(std::min(depth, folders.size()));
    if (text.back() == '/') {
      folders.push_back(text);
      copyIndent = std::string::npos;
    } else {
      std::string path;
      for (const std::string& folder : folders) path += folder;
      files.push_back(path + text);
      copyIndent = 4 * (depth + 1);
    }
  }
  return files;
}

class RealLogs : public ::testing::Test {};

TEST_F(RealLogs, ReportedFilesAreThoseWithAMatchingRevision) {
  const std::vector<TRevision> revisions = ExpectedRevisions();
  ASSERT_GT(revisions.size(), 100u);
  const struct {
    const char* Author;
    const char* Operator;
    const char* Date;  // yyyy/mm/dd
  } conditions[] = {
      {"dev1", ".GE", "2026/11/30"}, {"dev1", ".EQ", "2003/02/03"}, {"dev1", ".LT", "2004/02/29"},
      {"DEV1", ".LE", "2004/02/29"}, {"dev11", ".GT", "2003/12/31"}, {"alice", ".EQ", "2003/02/03"},
      {"alice", ".GE", "2026/11/07"}, {"dev2", ".LT", "2004/01/01"}, {"dev2", ".GT", "2025/01/01"},
      {"kbauer", ".LE", "2002/12/31"}, {"kbauer", ".GE", "2026/12/04"}, {"QAT", ".GT", "2004/02/29"},
      {"qat", ".EQ", "2026/12/06"}, {"root", ".EQ", "2002/10/28"}, {"", ".EQ", "2026/12/07"},
      {"", ".GE", "2004/01/01"}, {"nobody", ".GE", "1990/01/01"},
  };
  const char* logs[] = {"01-cvs-log-whole-repository.txt", "02-cvs-log-subfolder-with-stderr.txt",
                        "03-rlog-repository-files.txt",    "04-cvs-rlog-two-modules-berlin.txt",
                        "05-cvs-log-filter-d-w.txt",       "06-cvs-log-modA-crlf.txt",
                        "08-rlog-rcs-project.txt"};
  int nonEmpty = 0;
  for (const char* log : logs) {
    const std::string text = ReadBytes(TestDataDir() + "/logs/" + log);
    ASSERT_FALSE(text.empty()) << log;
    for (const auto& c : conditions) {
      std::string reference = c.Date;
      for (char& ch : reference)
        if (ch == '/') ch = '-';
      std::set<std::string> picked;
      for (const TRevision& r : revisions)
        if (r.Log == log && (c.Author[0] == '\0' || SameText(r.Author, c.Author)) &&
            Meets(r.Date, c.Operator, reference) && UpperCase(r.ArchivePath).find("ATTIC") == std::string::npos)
          picked.insert(r.ArchivePath);
      std::vector<std::string> expected;
      for (const std::string& path : SectionPaths(text))
        if (picked.count(path)) expected.push_back(ReportPath(path));
      TQuillet engine(TestEnvironment());
      engine.SetDateOperator(*DateOperatorFromText(c.Operator));
      engine.SetDate(c.Date);
      engine.SetPerson("tester");
      engine.SetAuthor(c.Author);
      const std::string report = engine.RunOnText(text);
      EXPECT_EQ(report, engine.RunOnText(text, std::nullopt, 64)) << log << ": read in 64-byte pieces";
      engine.SetParts(40);
      EXPECT_EQ(report, engine.RunOnText(text)) << log << ": cut into parts";
      const std::vector<std::string> reported = ReportedFiles(report);
      EXPECT_EQ(expected, reported) << log << " " << c.Author << " " << c.Operator << " " << c.Date;
      nonEmpty += !expected.empty();
    }
  }
  EXPECT_GT(nonEmpty, 40);
}

TEST_F(RealLogs, EveryLogEndsItsLastSection) {
  TTempDir dir;
  int logs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(TestDataDir() + "/logs")) {
    if (entry.path().extension() != ".txt") continue;
    ++logs;
    for (const std::size_t parts : {1, 3}) {
      TQuillet engine(TestEnvironment());
      engine.SetDate("2004/01/01");
      engine.SetPerson("tester");
      engine.SetInputFile(entry.path().string());
      engine.SetOutputFile(dir.File("out.txt"));
      engine.SetParts(parts);
      EXPECT_EQ("(no failure)", failureOf([&] { engine.Run(); })) << entry.path();
    }
  }
  EXPECT_GE(logs, 7);
}

TEST_F(RealLogs, RunOverTheFileGivesTheSameReportAsOverItsText) {
  const std::string path = TestDataDir() + "/logs/06-cvs-log-modA-crlf.txt";
  TTempDir dir;
  TQuillet onFile(TestEnvironment()), onText(TestEnvironment());
  for (TQuillet* engine : {&onFile, &onText}) {
    engine->SetDateOperator(TDateOperator::GreaterEqual);
    engine->SetDate("2004/01/01");
    engine->SetPerson("tester");
    engine->SetInputFile(path);
    engine->SetOutputFile(dir.File("out.txt"));
  }
  onFile.SetParts(3);  // the later parts wait in files of their own
  onFile.Run();
  const std::string report = ReadBytes(dir.File("out.txt"));
  EXPECT_EQ(onText.RunOnText(ReadBytes(path)), report);
  EXPECT_NE(std::string::npos, report.find("modA/\r\n    README\r\n")) << report;
}
}  // namespace
