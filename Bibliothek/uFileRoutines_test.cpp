#include "Bibliothek/uFileRoutines.h"

#include <gtest/gtest.h>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/uFailure.h"
#include "test/uTestSupport.h"

namespace {

// Paths are written with "\" as a switch value gives them; the platform maps
// them where the file system is touched.
std::string Backslashed(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

TEST(FileRoutinesTest, EmptyPathDoesNothing) { EXPECT_NO_THROW(ForceDirectoryPath("")); }

TEST(FileRoutinesTest, CreatesEveryMissingLevelOfARootedPath) {
  TTempDir temp;
  const std::string root = Backslashed(temp.Path());
  ForceDirectoryPath(root + "\\a\\\\b\\c");
  EXPECT_TRUE(OsDirectoryExists(root + "\\a\\b\\c"));
  // A level that exists is left alone; the next call only adds below it.
  ForceDirectoryPath(root + "\\a\\b\\d\\");
  EXPECT_TRUE(OsDirectoryExists(root + "\\a\\b\\d"));
  EXPECT_TRUE(OsDirectoryExists(root + "\\a\\b\\c"));
}

TEST(FileRoutinesTest, SlashesSeparateLikeBackslashes) {
  TTempDir temp;
  ForceDirectoryPath(temp.Path() + "/x/y");
  EXPECT_TRUE(OsDirectoryExists(temp.Path() + "/x/y"));
}

TEST(FileRoutinesTest, FailureNamesTheLevelThatCouldNotBeMade) {
  TTempDir temp;
  const std::string root = Backslashed(temp.Path());
  WriteBytes(temp.File("blocker"), "a file, not a directory");
  try {
    ForceDirectoryPath(root + "\\blocker\\sub");
    FAIL() << "no failure";
  } catch (const EFailure& failure) {
    EXPECT_EQ("Der Pfad " + root + "\\blocker\\ kann nicht angelegt werden!", failure.Message());
  }
  // Levels made before the failing one stay; a name longer than any file
  // system takes fails on both platforms.
  const std::string tooLong(300, 'n');
  EXPECT_THROW(ForceDirectoryPath(root + "\\made\\" + tooLong), EFailure);
  EXPECT_TRUE(OsDirectoryExists(root + "\\made"));
}

}  // namespace
