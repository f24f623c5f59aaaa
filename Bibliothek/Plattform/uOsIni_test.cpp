// Contract of the INI module. The INI text's tables run in both builds through
// the module; in the Windows build the module is the system's profile
// functions, which holds the portable reader and writer to the same answers.
#include "Bibliothek/Plattform/uOsIni.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "Bibliothek/Plattform/uOsRegistry.h"
#include "Bibliothek/Textformate/uIniTextTestTables.h"
#include "test/uTestSupport.h"

namespace {

// The Windows build has no registry file; there the profile functions own the
// file's layout and may tidy lines a caller never sees.
bool ProfileFunctionsOwnLayout() { return OsRegistryFilePath().empty(); }

const std::string Long(2100, 'x');

TEST(OsIni, ReadsLikeTheProfileFunctions) {
  for (const TReadRow& row : ReadRows) {
    TTempDir dir;
    const std::string file = dir.File("t.ini");
    WriteBytes(file, row.Text);
    const std::string got =
        row.Key == KeyList ? Join(OsIniKeys(file, row.Section)) : OsIniValue(file, row.Section, row.Key);
    EXPECT_EQ(row.Expected, got) << "file: " << ::testing::PrintToString(std::string(row.Text))
                                 << " section: " << row.Section << " key: " << (row.Key ? row.Key : "(list)");
    // The whole section at once gives the same keys, each with its value.
    std::string listed;
    const auto entries = OsIniEntries(file, row.Section);
    for (const auto& [key, value] : *entries) {
      listed += (listed.empty() ? "" : "|") + key;
      if (row.Key != KeyList) {
        EXPECT_EQ(OsIniValue(file, row.Section, key), value) << key;
      }
    }
    if (row.Key == KeyList) {
      EXPECT_EQ(row.Expected, listed) << ::testing::PrintToString(std::string(row.Text));
    }
  }
}

TEST(OsIni, MissingFileGivesNothing) {
  TTempDir dir;
  EXPECT_EQ("", OsIniValue(dir.File("none.ini"), "S", "A"));
  EXPECT_TRUE(OsIniKeys(dir.File("none.ini"), "S").empty());
}

TEST(OsIni, LongValuesAndKeyListsAreCutAtTheBufferSizes) {
  TTempDir dir;
  const std::string file = dir.File("long.ini");
  std::string text = "[S]\nA=" + Long + "\nB=\"" + Long.substr(0, 2046) + "\"\n[BIG]\n";
  for (int i = 0; i < 2000; ++i) text += "KEY" + std::string(5 - std::to_string(i).size(), '0') + std::to_string(i) + "=1\n";
  WriteBytes(file, text);
  EXPECT_EQ(Long.substr(0, 2047), OsIniValue(file, "S", "A"));
  EXPECT_EQ(Long.substr(0, 2046), OsIniValue(file, "S", "B"));
  // 1820 names of 9 bytes fill the 16384-byte list; the one cut by its end is dropped.
  const std::vector<std::string> keys = OsIniKeys(file, "BIG");
  ASSERT_EQ(1820u, keys.size());
  EXPECT_EQ("KEY01819", keys.back());
  const auto entries = OsIniEntries(file, "BIG");
  ASSERT_EQ(1820u, entries->size());
  EXPECT_EQ("KEY01819", entries->back().first);
  EXPECT_EQ("1", entries->back().second);
  EXPECT_EQ(Long.substr(0, 2046), OsIniEntries(file, "s")->at(1).second);
}

/// Every key and value a caller can see in the sections named in `text`.
std::string Visible(const std::string& file, const std::string& text) {
  std::string out;
  std::vector<std::string> sections{""};
  for (std::size_t pos = 0; (pos = text.find('[', pos)) != std::string::npos; ++pos)
    sections.push_back(text.substr(pos + 1, text.find(']', pos) - pos - 1));
  for (const std::string& s : sections)
    for (const std::string& k : OsIniKeys(file, s)) out += "[" + s + "]" + k + "=" + OsIniValue(file, s, k) + "\n";
  return out;
}

TEST(OsIni, WritesLikeTheProfileFunctions) {
  for (const TWriteRow& row : WriteRows) {
    TTempDir dir;
    const std::string file = dir.File("w.ini"), expected = dir.File("expected.ini");
    if (row.Before) WriteBytes(file, row.Before);
    WriteBytes(expected, row.After);
    EXPECT_TRUE(OsIniWrite(file, row.Section, row.Key, row.Value));
    OsIniFlush(file);
    const std::string context = ::testing::PrintToString(std::string(row.Before ? row.Before : "(none)"));
    if (row.Tidy || !ProfileFunctionsOwnLayout()) {
      EXPECT_EQ(row.After, ReadBytes(file)) << context;
    }
    EXPECT_EQ(Visible(expected, row.After), Visible(file, row.After)) << context;
  }
}

TEST(OsIni, RefusesEntriesThatWouldNotReadBack) {
  struct {
    const char *Section, *Key, *Value;
  } const rows[] = {
      {"S", "A", "x\r\n[EVIL]\r\nB=1"}, {"S", "A", "x\ny"}, {"S\nT", "A", "1"}, {"S]x", "A", "1"},
      {"S", "A=B", "1"},  {"S", "", "1"},  {"S", "  ", "1"},  {"S", ";A", "1"}, {"S", "[A]", "1"},
  };
  TTempDir dir;
  const std::string file = dir.File("r.ini");
  const std::string before = "[S]\r\nA=1\r\n";
  WriteBytes(file, before);
  for (const auto& row : rows) EXPECT_FALSE(OsIniWrite(file, row.Section, row.Key, row.Value)) << row.Key;
  OsIniFlush(file);
  EXPECT_EQ(before, ReadBytes(file));
}

TEST(OsIni, WriteReplacesTheFileWithoutLeavingAnythingBehind) {
  TTempDir dir;
  const std::string file = dir.File("a.ini");
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(OsIniWrite(file, "S", "K" + std::to_string(i), "v"));
  OsIniFlush(file);
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
    ++entries;
    EXPECT_EQ("a.ini", e.path().filename().string());
  }
  EXPECT_EQ(1, entries);
  EXPECT_EQ("K0|K1|K2|K3|K4", Join(OsIniKeys(file, "s")));
  // Callers write paths with "\"; the native build maps them where it touches the disk.
  ASSERT_TRUE(OsIniWrite(dir.Path() + "\\b.ini", "S", "A", "1"));
  OsIniFlush(dir.Path() + "\\b.ini");
  EXPECT_EQ("[S]\r\nA=1\r\n", ReadBytes(dir.File("b.ini")));
  EXPECT_EQ("1", OsIniValue(dir.Path() + "\\b.ini", "S", "A"));
  EXPECT_FALSE(OsIniWrite((std::filesystem::path(dir.Path()) / "missing" / "x.ini").string(), "S", "A", "1"));
}

TEST(OsIni, FilesThatAreNoSettingsFilesAreRefused) {
  // A device would read as nothing or never end, a file beyond the bound
  // would take memory without end: neither is read nor written, and the
  // caller learns why. A file of exactly the bound is read.
  TTempDir dir;
  const std::string device = ProfileFunctionsOwnLayout() ? "NUL" : "/dev/null";
  WriteBytes(dir.File("large.ini"), "[S]\nA=1\n" + std::string(OsMaxSettingsFileBytes - 7, ';'));
  WriteBytes(dir.File("bound.ini"), "[S]\nA=1\n" + std::string(OsMaxSettingsFileBytes - 8, ';'));
  const struct {
    std::string File;
    TOsSettingsRefusal Expected;
  } rows[] = {
      {device, TOsSettingsRefusal::NotAFile},
      {dir.File("large.ini"), TOsSettingsRefusal::TooLarge},
      {dir.File("bound.ini"), TOsSettingsRefusal::None},
  };
  for (const auto& row : rows) {
    const bool refused = row.Expected != TOsSettingsRefusal::None;
    TOsSettingsRefusal refusal = TOsSettingsRefusal::None;
    EXPECT_EQ(refused ? 0u : 1u, OsIniEntries(row.File, "S", &refusal)->size()) << row.File;
    EXPECT_EQ(row.Expected, refusal) << row.File;
    EXPECT_EQ(refused ? "" : "1", OsIniValue(row.File, "S", "A")) << row.File;
    if (!refused) continue;
    refusal = TOsSettingsRefusal::None;
    EXPECT_FALSE(OsIniWrite(row.File, "S", "B", "2", &refusal)) << row.File;
    OsIniFlush(row.File);
    EXPECT_EQ(row.Expected, refusal) << row.File;
  }
  EXPECT_EQ(OsMaxSettingsFileBytes + 1, std::filesystem::file_size(dir.File("large.ini")));
}

// The parsed file is kept between calls: a rewrite of the same size a moment
// later, and concurrent writers, must still be seen whole.
TEST(OsIni, RewritesAndConcurrentWritersAreSeen) {
  TTempDir dir;
  const std::string file = dir.File("c.ini");
  WriteBytes(file, "[S]\nA=1\n");
  EXPECT_EQ("1", OsIniValue(file, "S", "A"));
  WriteBytes(file, "[S]\nA=2\n");
  EXPECT_EQ("2", OsIniValue(file, "S", "A"));
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) EXPECT_TRUE(OsIniWrite(file, "W", "K" + std::to_string(t * 100 + i), "v"));
    });
  for (std::thread& w : writers) w.join();
  EXPECT_EQ(100u, OsIniKeys(file, "W").size());
  EXPECT_EQ("2", OsIniValue(file, "S", "A"));
}

}  // namespace
