// Contract of the INI module. The same tables run in both builds, against the
// portable INI text and through the module; in the Windows build the module is
// the system's profile functions, which holds the portable reader and writer
// to the same answers.
#include "Bibliothek/Plattform/uOsIni.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "Bibliothek/Plattform/uIniText.h"
#include "Bibliothek/Plattform/uOsRegistry.h"
#include "test/uTestSupport.h"

namespace {

// The Windows build has no registry file; there the profile functions own the
// file's layout and may tidy lines a caller never sees.
bool ProfileFunctionsOwnLayout() { return OsRegistryFilePath().empty(); }

std::string Join(const std::vector<std::string>& keys) {
  std::string s;
  for (const std::string& k : keys) s += (s.empty() ? "" : "|") + k;
  return s;
}

const char* const KeyList = nullptr;  // Key of a row that asks for the key list

struct TReadRow {
  const char* Text;
  const char* Section;
  const char* Key;  // KeyList: the section's keys, joined by "|"
  std::string Expected;
};

const std::string Long(2100, 'x');

const TReadRow ReadRows[] = {
    {"[S]\r\nA=1\r\n", "S", "A", "1"},
    {"[S]\nA=1\nB=2\n", "S", "B", "2"},
    {"[S]\rA=1\rB=2\r", "S", KeyList, "A|B"},
    {"[Params]\r\nDate=x\r\n", "PARAMS", "date", "x"},
    {"[ S ]\n  A  =  v x  \n\tB\t=\t\"q\"\t\n", "S", "A", "v x"},
    {"[ S ]\n  A  =  v x  \n\tB\t=\t\"q\"\t\n", "S", "b", "q"},
    {"[S]\nC='s'\n", "S", "C", "s"},
    {"[S]\nD=\"a'\n", "S", "D", "\"a'"},
    {"[S]\nE=\"\n", "S", "E", "\""},
    {"[S]\nF=\"\"\n", "S", "F", ""},
    {"[S]\nG= \" a \" \n", "S", "G", " a "},
    {"[S]\nA=b=c\n", "S", "A", "b=c"},
    {"[S]\nA=1 ;x\n", "S", "A", "1 ;x"},
    // duplicates: listed twice, the first one answers
    {"[S]\r\nA=1\r\nA=2\r\nB=3\r\n", "S", KeyList, "A|A|B"},
    {"[S]\r\nA=1\r\nA=2\r\nB=3\r\n", "S", "A", "1"},
    // lines without "=" and comment lines are not listed
    {"[S]\nA=1\nnoeq\n;c=1\n  ;d=1\n#h=2\nK=\nB=3\n", "S", KeyList, "A|#h|K|B"},
    {"[S]\nnoeq\nnoeq=1\n", "S", "noeq", ""},
    {"[S]\n;c=1\n", "S", ";c", "1"},
    // an entry without a name is never listed
    {"[S]\nK=1\n=v\nA B = 2\n", "S", KeyList, "K|A B"},
    {"[S]\nK=1\n=v\nA B = 2\n", "S", " a b ", "2"},
    // lines before the first heading form the section with the empty name
    {"X=0\n[S]\nA=1\n", "", "X", "0"},
    {"X=0\n[S]\nA=1\n", "S", KeyList, "A"},
    // only the first section of a name counts
    {"[S]\nA=1\n[T]\nB=1\n[s]\nC=2\nA=9\n", "S", KeyList, "A"},
    {"[S]\nA=1\n[T]\nB=1\n[s]\nC=2\nA=9\n", "S", "A", "1"},
    // text after the last "]" is ignored; "[U" without "]" is no heading
    {"[T] junk\nX=1\n[U\nY=1\n", "T", KeyList, "X|Y"},
    {"[a]b]\nZ=1\n", "a]b", "Z", "1"},
    {"[a]b]\nZ=1\n", "a", "Z", ""},
    {"\xEF\xBB\xBF[S]\r\nA=1\r\n", "S", "A", "1"},
    {"[S]\r\n\r\n   \r\nA=1\r\n[T];y\r\nB=2\r\n", "T", "B", "2"},
    {"[S]\nA=1\n", "T", "A", ""},
    {"[S]\nA=1\n", "T", KeyList, ""},
    {"[S]\nA=1\n", "S", "B", ""},
};

TEST(OsIni, ReadsLikeTheProfileFunctions) {
  for (const TReadRow& row : ReadRows) {
    TTempDir dir;
    const std::string file = dir.File("t.ini");
    WriteBytes(file, row.Text);
    const std::string got =
        row.Key == KeyList ? Join(OsIniKeys(file, row.Section)) : OsIniValue(file, row.Section, row.Key);
    const TIniText text(row.Text);
    const std::string parsed = row.Key == KeyList ? Join(text.Keys(row.Section)) : text.Value(row.Section, row.Key);
    EXPECT_EQ(row.Expected, got) << "file: " << ::testing::PrintToString(std::string(row.Text))
                                 << " section: " << row.Section << " key: " << (row.Key ? row.Key : "(list)");
    EXPECT_EQ(row.Expected, parsed) << "text: " << ::testing::PrintToString(std::string(row.Text));
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

struct TWriteRow {
  const char* Before;  // nullptr: no file
  const char* Section;
  const char* Key;
  const char* Value;
  const char* After;
  bool Tidy;  // a tidy file: the profile functions must give these very bytes too
};

const TWriteRow WriteRows[] = {
    {nullptr, "S", "A", "1", "[S]\r\nA=1\r\n", true},
    {"[S]\r\nA=1\r\nB=2\r\n[T]\r\nA=3\r\n", "S", "A", "9", "[S]\r\nA=9\r\nB=2\r\n[T]\r\nA=3\r\n", true},
    {"[S]\r\nA=1\r\n[T]\r\nX=1\r\n", "S", "C", "3", "[S]\r\nA=1\r\nC=3\r\n[T]\r\nX=1\r\n", true},
    {"[S]\r\nA=1\r\n[T]\r\nX=1\r\n", "U", "Z", "5", "[S]\r\nA=1\r\n[T]\r\nX=1\r\n[U]\r\nZ=5\r\n", true},
    {"[S]\r\nA=1\r\n", "s", "a", "9", "[S]\r\nA=9\r\n", true},
    {"[S]\r\nA=1", "S", "B", "2", "[S]\r\nA=1\r\nB=2\r\n", true},
    {"; top\r\n[S]\r\nA=1\r\n;c\r\nnoeq\r\nB=2\r\n", "S", "C", "3",
     "; top\r\n[S]\r\nA=1\r\n;c\r\nnoeq\r\nB=2\r\nC=3\r\n", true},
    {"[S]\r\nA=1\r\nA=2\r\n", "S", "A", "9", "[S]\r\nA=9\r\nA=2\r\n", true},
    // a name without value is the entry: it gets the value where it stands
    {"[S]\r\nnoeq\r\nA=1\r\n", "S", "NOEQ", "v", "[S]\r\nnoeq=v\r\nA=1\r\n", true},
    {"[S]\r\nA=1\r\n[s]\r\nB=1\r\n", "S", "B", "3", "[S]\r\nA=1\r\nB=3\r\n[s]\r\nB=1\r\n", true},
    {"top=1\r\n[S]\r\n", "", "K", "3", "top=1\r\nK=3\r\n[S]\r\n", true},
    {"\xEF\xBB\xBF[S]\r\nA=1\r\n", "S", "B", "2", "\xEF\xBB\xBF[S]\r\nA=1\r\nB=2\r\n", true},
    {"[S]\r\n", " S ", " K ", " v w ", "[S]\r\nK=v w\r\n", true},
    // blank lines, padding and LF stay; a new entry goes after the section's last line
    {"[S]\r\nA=1\r\n\r\n[T]\r\nX=1\r\n", "S", "C", "3", "[S]\r\nA=1\r\nC=3\r\n\r\n[T]\r\nX=1\r\n", false},
    {"[S]\nA=1\n\n[T]\nX=1\n", "T", "new", "3", "[S]\nA=1\n\n[T]\nX=1\nnew=3\n", false},
    {"[S]\r\n  A  =  v  \r\nB=2\r\n", "S", "B", "5", "[S]\r\n  A  =  v  \r\nB=5\r\n", false},
    {"[S]\r\n  A = 1 \r\n\r\n", "S", "A", "2", "[S]\r\nA=2\r\n\r\n", false},
    {"[S]\nA=1", "T", "B", "2", "[S]\nA=1\n[T]\nB=2\n", false},
    {"[S]\r\nA=1\r\n\r\n", "T", "B", "2", "[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n", false},
};

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
    EXPECT_EQ(row.After, TIniText(row.Before ? row.Before : "").Stored(row.Section, row.Key, row.Value)) << context;
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
