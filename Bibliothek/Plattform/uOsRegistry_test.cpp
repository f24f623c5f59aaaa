// Contract of the registry module and of the registry file's text. Round trips
// run in both builds (through the real registry in the Windows build), and so
// do the tables of the file's format, on the portable text; the tests of the
// file itself run only where there is a registry file.
#include "Bibliothek/Plattform/uOsRegistry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "Bibliothek/Plattform/uRegistryText.h"
#include "test/uTestSupport.h"

namespace {

bool HasRegistryFile() { return !OsRegistryFilePath().empty(); }

/// A key of this test run only, so that runs never meet in the real registry.
std::string UniqueKey() {
  static const std::string key = [] {
    std::mt19937 rng(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return "Software\\ORVEK\\QuilletTest" + std::to_string(rng() % 1000000000u) + "\\PARAMETERS";
  }();
  return key;
}

/// HKCU_FILE in a fresh folder for one test (harmless in the Windows build).
struct TRegistryFileGuard {
  TTempDir Dir;
  std::string File = Dir.File("hkcu.reg");
  TEnvGuard Env{"HKCU_FILE", File};
};

/// UTF-16LE with byte-order mark; "~" stands for a letter above 255 (U+043A).
std::string Utf16(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) {
    out += c == '~' ? '\x3A' : c;
    out += c == '~' ? '\x04' : '\0';
  }
  return out;
}

std::string Show(const std::optional<TOsRegValue>& v) {
  if (!v) return "(none)";
  const char* type = v->Type == TOsRegType::String ? "S:" : v->Type == TOsRegType::ExpandString ? "E:" : "O:";
  return type + (v->Type == TOsRegType::Other ? std::string() : v->Data);
}

/// ISO-8859-1, so that the tables' single bytes above 127 read the same in both builds.
class TLatin1Charset : public TCharset {
public:
  bool Append(std::string& text, char32_t code) const override {
    if (code > 0xFF) return false;
    text += static_cast<char>(code);
    return true;
  }
  std::size_t Read(std::string_view text, std::size_t pos, char32_t& code) const override {
    code = static_cast<unsigned char>(text[pos]);
    return 1;
  }
};
const TLatin1Charset Latin1;

const std::string V5 = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string KeyHeading = "[HKEY_CURRENT_USER\\Software\\ORVEK\\Quillet\\PARAMETERS]\r\n";
const char* const KeyPath = "Software\\ORVEK\\Quillet\\PARAMETERS";

struct TParseRow {
  std::string File;  // empty: no file
  std::string Key, Name, Expected;
};

const TParseRow ParseRows[] = {
    {V5 + KeyHeading + "\"DATE\"=\".ge-7\"\r\n", KeyPath, "DATE", "S:.ge-7"},
    {"REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\ORVEK\\Quillet\\PARAMETERS]\n\"DATE\"=\"x\"\n", KeyPath, "DATE", "S:x"},
    {"Some text\r\n" + KeyHeading + "\"DATE\"=\"x\"\r\n", KeyPath, "DATE", "(none)"},
    {V5 + KeyHeading + "\"P\"=\"c:\\\\logs\\\\\\\"q\\\"\"\r\n", KeyPath, "P", "S:c:\\logs\\\"q\""},
    {V5 + KeyHeading + "\"a\\\"b\"=\"1\"\r\n", KeyPath, "A\"B", "S:1"},
    {V5 + KeyHeading + "\"X\"=hex(2):25,00,41,00,\\\r\n  25,00,00,00\r\n\"Y\"=\"2\"\r\n", KeyPath, "X", "E:%A%"},
    {V5 + KeyHeading + "\"X\"=hex(2):25,00,41,00,\\\r\n  25,00,00,00\r\n\"Y\"=\"2\"\r\n", KeyPath, "Y", "S:2"},
    {"REGEDIT4\r\n\r\n" + KeyHeading + "\"X\"=hex(2):25,41,25,00\r\n", KeyPath, "X", "E:%A%"},
    {V5 + KeyHeading + "\"X\"=hex(1):61,00,62,00,00,00\r\n", KeyPath, "X", "S:ab"},
    {V5 + KeyHeading + "\"X\"=dword:0000002a\r\n", KeyPath, "X", "O:"},
    {V5 + KeyHeading + "\"X\"=hex:01,02\r\n", KeyPath, "X", "O:"},
    {V5 + KeyHeading + "\"X\"=hex(7):61,00,00,00,00,00\r\n", KeyPath, "X", "O:"},
    {V5 + KeyHeading + "@=\"def\"\r\n", KeyPath, "", "S:def"},
    {V5 + KeyHeading + "\"@\"=\"at\"\r\n", KeyPath, "", "(none)"},
    {V5 + "[hkey_current_user\\software\\orvek\\QUILLET\\parameters]\r\n\"date\"=\"x\"\r\n", KeyPath, "Date", "S:x"},
    {V5 + "[HKCU\\Software\\ORVEK\\Quillet\\PARAMETERS]\r\n\"DATE\"=\"x\"\r\n", KeyPath, "DATE", "S:x"},
    {V5 + "[HKEY_LOCAL_MACHINE\\Software\\ORVEK\\Quillet\\PARAMETERS]\r\n\"DATE\"=\"x\"\r\n", KeyPath, "DATE", "(none)"},
    {V5 + KeyHeading + "\"DATE\"=\"x\"\r\n", "\\Software\\ORVEK\\Quillet\\\\PARAMETERS\\", "DATE", "S:x"},
    {V5 + KeyHeading + "\"DATE\"=\"x\"\r\n", KeyPath, "AUTHOR", "(none)"},
    {V5 + KeyHeading + "\"DATE\"=\"x\"\r\n", "Software\\ORVEK\\Quillet", "DATE", "(none)"},
    {V5 + KeyHeading + "\"DATE\"=\"1\"\r\n\r\n" + KeyHeading + "\"DATE\"=\"2\"\r\n", KeyPath, "DATE", "S:2"},
    {V5 + KeyHeading + "\"DATE\"=\"1\"\r\n\"DATE\"=-\r\n", KeyPath, "DATE", "(none)"},
    {V5 + KeyHeading + "; \"DATE\"=\"1\"\r\n", KeyPath, "DATE", "(none)"},
    {Utf16(V5 + KeyHeading + "\"DATE\"=\"\xF6x\"\r\n\"X\"=hex(2):25,00,41,00,00,00\r\n"), KeyPath, "DATE", "S:\xF6x"},
    {Utf16(V5 + KeyHeading + "\"X\"=hex(2):25,00,41,00,00,00\r\n"), KeyPath, "X", "E:%A"},
    {"", KeyPath, "DATE", "(none)"},
    // lines a hex value continues on are its own, even one that looks like a heading
    {V5 + KeyHeading + "\"X\"=hex:01,\\\r\n[HKCU\\Other]\r\n\"Y\"=\"y\"\r\n", KeyPath, "Y", "S:y"},
    {V5 + "[HKCU\\Other]\r\n\"X\"=hex:01,\\\r\n 02,\\\r\n" + KeyHeading + "\"Y\"=\"y\"\r\n", KeyPath, "Y", "(none)"},
    {V5 + "[HKCU\\Other]\r\n\"X\"=hex:01,\\\r\n 02,\\\r\n 03\r\n" + KeyHeading + "\"Y\"=\"y\"\r\n", KeyPath, "Y", "S:y"},
    // a key whose last component matches is not the key
    {V5 + "[HKCU\\Other\\PARAMETERS]\r\n\"DATE\"=\"o\"\r\n", KeyPath, "DATE", "(none)"},
    {V5 + "[HKCU\\Other\\PARAMETERS]\r\n\"DATE\"=\"o\"\r\n", "Other\\parameters\\", "DATE", "S:o"},
    // a type number beyond any integer is some other type
    {V5 + KeyHeading + "\"X\"=hex(ffffffffffffffffffff):41,00\r\n\"Y\"=\"y\"\r\n", KeyPath, "X", "O:"},
};

TEST(RegistryText, ReadsRegeditExports) {
  for (const TParseRow& row : ParseRows)
    EXPECT_EQ(row.Expected, Show(TRegistryText(row.File, Latin1).Value(row.Key, row.Name)))
        << ::testing::PrintToString(row.File) << " key " << row.Key << " name " << row.Name;
}

TEST(OsRegistryFile, DefaultPath) {
  if (!HasRegistryFile()) GTEST_SKIP() << "the real registry has no file";
  TEnvGuard file("HKCU_FILE", "");
  TEnvGuard home("HOME", "/home/someone");
  {
    TEnvGuard config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ("/cfg/HKEY_CURRENT_USER.reg", OsRegistryFilePath());
  }
  TEnvGuard config("XDG_CONFIG_HOME", "relative/cfg");
  EXPECT_EQ("/home/someone/.config/HKEY_CURRENT_USER.reg", OsRegistryFilePath());
  TEnvGuard set("HKCU_FILE", "/x/y.reg");
  EXPECT_EQ("/x/y.reg", OsRegistryFilePath());
}

struct TWriteRow {
  std::string Before;  // empty: no file
  std::string Key, Name, Value;
  std::string After;
};

const TWriteRow WriteRows[] = {
    {"", "A\\B", "N", "v", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A\\B]\r\n\"N\"=\"v\"\r\n"},
    {"", "\\A\\B\\", "", "c:\\x \"y\"",
     "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A\\B]\r\n@=\"c:\\\\x \\\"y\\\"\"\r\n"},
    // in place, the file's LF and every other line kept
    {"REGEDIT4\n\n[HKCU\\a\\b]\n\"n\"=\"old\"\n\"M\" = dword:1\n\n[HKCU\\c]\n\"n\"=\"1\"\n", "A\\B", "N", "new",
     "REGEDIT4\n\n[HKCU\\a\\b]\n\"N\"=\"new\"\n\"M\" = dword:1\n\n[HKCU\\c]\n\"n\"=\"1\"\n"},
    // a value in hex form over several lines is replaced whole
    {V5 + "[HKCU\\A]\r\n\"N\"=hex(2):25,00,\\\r\n  41,00,00,00\r\n\"Z\"=\"z\"\r\n", "A", "N", "s",
     V5 + "[HKCU\\A]\r\n\"N\"=\"s\"\r\n\"Z\"=\"z\"\r\n"},
    // a new value goes after the key's last value, not after the blank line
    {V5 + "[HKCU\\A]\r\n\"X\"=\"1\"\r\n\r\n; next\r\n[HKCU\\C]\r\n", "A", "Y", "2",
     V5 + "[HKCU\\A]\r\n\"X\"=\"1\"\r\n\"Y\"=\"2\"\r\n\r\n; next\r\n[HKCU\\C]\r\n"},
    {V5 + "[HKCU\\A]\r\n\"X\"=\"1\"", "B", "Y", "2", V5 + "[HKCU\\A]\r\n\"X\"=\"1\"\r\n\r\n[HKEY_CURRENT_USER\\B]\r\n\"Y\"=\"2\"\r\n"},
    {V5 + "[HKCU\\A]\r\n\"X\"=\"1\"\r\n\r\n", "B", "Y", "2", V5 + "[HKCU\\A]\r\n\"X\"=\"1\"\r\n\r\n[HKEY_CURRENT_USER\\B]\r\n\"Y\"=\"2\"\r\n"},
    // a line break cannot stand between quotes: the string goes in hex form
    {"", "A", "N", "a\nb", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"N\"=hex(1):61,00,0a,00,62,00,00,00\r\n"},
    // units above 255 elsewhere in a UTF-16 file survive
    {Utf16("REGEDIT4\n[HKCU\\A]\n\"~\"=\"~\"\n"), "A", "N", "\xF6",
     Utf16("REGEDIT4\n[HKCU\\A]\n\"~\"=\"~\"\n\"N\"=\"\xF6\"\n")},
    // a hex value whose last line ends in a continuation mark must not take the new line in
    {V5 + "[HKCU\\A]\r\n\"X\"=hex:01,02\\", "A", "Y", "2",
     V5 + "[HKCU\\A]\r\n\"X\"=hex:01,02\\\r\n\r\n\"Y\"=\"2\"\r\n"},
};

TEST(RegistryText, WritesKeepingEverythingElse) {
  for (const TWriteRow& row : WriteRows) {
    const std::optional<std::string> after = TRegistryText(row.Before, Latin1).WithString(row.Key, row.Name, row.Value);
    ASSERT_TRUE(after) << ::testing::PrintToString(row.Before);
    EXPECT_EQ(row.After, *after) << ::testing::PrintToString(row.Before);
    EXPECT_EQ("S:" + row.Value, Show(TRegistryText(*after, Latin1).Value(row.Key, row.Name)));
  }
}

TEST(OsRegistryFile, LeavesForeignFilesAloneAndCreatesFolders) {
  if (!HasRegistryFile()) GTEST_SKIP() << "the real registry has no file";
  TRegistryFileGuard reg;
  WriteBytes(reg.File, "not a registry\n");
  EXPECT_FALSE(OsRegWriteString("A", "N", "v"));
  EXPECT_EQ("not a registry\n", ReadBytes(reg.File));

  const std::string nested = (std::filesystem::path(reg.Dir.Path()) / "sub" / "dir" / "h.reg").string();
  TEnvGuard env("HKCU_FILE", nested);
  EXPECT_TRUE(OsRegWriteString("A", "N", "v"));
  EXPECT_EQ("S:v", Show(OsRegReadValue("a", "n")));
}

// Both builds: what is written reads back, wherever the registry lives.
TEST(OsRegistry, WriteThenReadRoundTrips) {
  TRegistryFileGuard reg;
  const std::string key = UniqueKey();
  EXPECT_EQ("(none)", Show(OsRegReadValue(key, "DATE")));
  const char* const values[][2] = {
      {"DATE", ".ge-7"}, {"Path", "c:\\logs\\\"a b\""}, {"EMPTY", ""}, {"", "default"}, {"Text", "ge\xF6" "ffnet"},
  };
  for (const auto& v : values) ASSERT_TRUE(OsRegWriteString(key, v[0], v[1])) << v[0];
  for (const auto& v : values) EXPECT_EQ(std::string("S:") + v[1], Show(OsRegReadValue(key, v[0]))) << v[0];

  ASSERT_TRUE(OsRegWriteString("\\" + key + "\\", "date", "2"));
  EXPECT_EQ("S:2", Show(OsRegReadValue(key, "Date")));
  EXPECT_EQ("(none)", Show(OsRegReadValue(key, "AUTHOR")));
  EXPECT_EQ("(none)", Show(OsRegReadValue(key + "\\NoSuchKey", "DATE")));
  ASSERT_TRUE(OsRegWriteString(key, "Z", std::string("a\0b", 3)));
  EXPECT_EQ("S:a", Show(OsRegReadValue(key, "Z")));
}

// Text beyond Latin-1 in a UTF-16 file arrives in the given character set, and
// text written into such a file goes back as the same characters.
TEST(RegistryText, Utf16TextInUtf8) {
  const std::u16string text = u"J\u00FCrgen \u20AC \u4E2D \U0001F600";
  std::string bytes = "\xFF\xFE";
  for (char c : V5 + KeyHeading + "\"N\"=\"") bytes += {c, '\0'};
  for (char16_t u : text) bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
  for (char c : std::string("\"\r\n")) bytes += {c, '\0'};
  const std::string utf8 = "J\xC3\xBCrgen \xE2\x82\xAC \xE4\xB8\xAD \xF0\x9F\x98\x80";
  EXPECT_EQ("S:" + utf8, Show(TRegistryText(bytes, Utf8Charset()).Value(KeyPath, "N")));
  bytes = TRegistryText(bytes, Utf8Charset()).WithString(KeyPath, "M", "r\xC3\xA9p").value_or("");
  bytes = TRegistryText(bytes, Utf8Charset()).WithString(KeyPath, "L", "a\n\xE2\x82\xAC").value_or("");  // hex(1) form
  const TRegistryText reg(bytes, Utf8Charset());
  EXPECT_EQ("S:" + utf8, Show(reg.Value(KeyPath, "N")));
  EXPECT_EQ("S:r\xC3\xA9p", Show(reg.Value(KeyPath, "M")));
  EXPECT_EQ("S:a\n\xE2\x82\xAC", Show(reg.Value(KeyPath, "L")));
  EXPECT_NE(std::string::npos, bytes.find(std::string("r\0\xE9\0p\0", 6)));
}

// Writers in several threads (each with its own lock handle, as processes
// have) lose no value; a rewrite a moment later is seen.
TEST(OsRegistryFile, FilesThatAreNoSettingsFilesAreRefused) {
  if (!HasRegistryFile()) GTEST_SKIP() << "the real registry has no file";
  TTempDir dir;
  WriteBytes(dir.File("large.reg"), V5 + KeyHeading + "\"A\"=\"1\"\r\n" + std::string(OsMaxSettingsFileBytes, ';'));
  const struct {
    std::string File;
    TOsSettingsRefusal Expected;
  } rows[] = {{"/dev/null", TOsSettingsRefusal::NotAFile}, {dir.File("large.reg"), TOsSettingsRefusal::TooLarge}};
  for (const auto& row : rows) {
    const TEnvGuard env("HKCU_FILE", row.File);
    TOsSettingsRefusal refusal = TOsSettingsRefusal::None;
    EXPECT_EQ("(none)", Show(OsRegReadValue(KeyPath, "A", &refusal))) << row.File;
    EXPECT_EQ(row.Expected, refusal) << row.File;
    refusal = TOsSettingsRefusal::None;
    EXPECT_FALSE(OsRegWriteString(KeyPath, "B", "2", &refusal)) << row.File;
    EXPECT_EQ(row.Expected, refusal) << row.File;
  }
  // The bound is one of text: UTF-16 takes two bytes a character.
  std::string wide = "\xFF\xFE";
  for (char c : V5 + KeyHeading + "\"A\"=\"1\"\r\n;" + std::string(12u << 20, ';') + "\r\n") wide.append({c, '\0'});
  WriteBytes(dir.File("wide.reg"), wide);
  const TEnvGuard env("HKCU_FILE", dir.File("wide.reg"));
  EXPECT_EQ("S:1", Show(OsRegReadValue(KeyPath, "A")));
}

TEST(OsRegistryFile, ConcurrentWritersAndRewritesAreSeen) {
  if (!HasRegistryFile()) GTEST_SKIP() << "the real registry has no file";
  TRegistryFileGuard reg;
  WriteBytes(reg.File, V5 + KeyHeading + "\"DATE\"=\"1\"\r\n");
  EXPECT_EQ("S:1", Show(OsRegReadValue(KeyPath, "DATE")));
  WriteBytes(reg.File, V5 + KeyHeading + "\"DATE\"=\"2\"\r\n");
  EXPECT_EQ("S:2", Show(OsRegReadValue(KeyPath, "DATE")));
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < 25; ++i) EXPECT_TRUE(OsRegWriteString("W", "N" + std::to_string(t * 100 + i), "v"));
    });
  for (std::thread& w : writers) w.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 25; ++i) EXPECT_EQ("S:v", Show(OsRegReadValue("W", "N" + std::to_string(t * 100 + i))));
  EXPECT_EQ("S:2", Show(OsRegReadValue(KeyPath, "DATE")));
}

}  // namespace
