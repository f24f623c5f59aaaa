// The registry file's text on its own: the tables of its format, read and
// written in a single-byte character set and in UTF-8, and the upper case it
// is given.
#include "Bibliothek/Textformate/uRegistryText.h"

#include <gtest/gtest.h>

#include "Bibliothek/Textformate/uCharsetTestSupport.h"
#include "Bibliothek/Textformate/uRegistryTextTestSupport.h"

namespace {

/// UTF-16LE with byte-order mark; "~" stands for a letter above 255 (U+043A).
std::string Utf16(const std::string& text) {
  std::string out = "\xFF\xFE";
  for (char c : text) {
    out += c == '~' ? '\x3A' : c;
    out += c == '~' ? '\x04' : '\0';
  }
  return out;
}

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
    // key and value names are found as the given upper case maps them
    {V5 + "[HKCU\\Caf\xE9]\r\n\"\xF6l\"=\"1\"\r\n", "CAF\xC9", "\xD6L", "S:1"},
};

TEST(RegistryText, ReadsRegeditExports) {
  for (const TParseRow& row : ParseRows)
    EXPECT_EQ(row.Expected, Show(TRegistryText(row.File, Latin1, Latin1UpperCase).Value(row.Key, row.Name)))
        << ::testing::PrintToString(row.File) << " key " << row.Key << " name " << row.Name;
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
    const std::optional<std::string> after =
        TRegistryText(row.Before, Latin1, Latin1UpperCase).WithString(row.Key, row.Name, row.Value);
    ASSERT_TRUE(after) << ::testing::PrintToString(row.Before);
    EXPECT_EQ(row.After, *after) << ::testing::PrintToString(row.Before);
    EXPECT_EQ("S:" + row.Value, Show(TRegistryText(*after, Latin1, Latin1UpperCase).Value(row.Key, row.Name)));
  }
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
  EXPECT_EQ("S:" + utf8, Show(TRegistryText(bytes, Utf8Charset(), AsciiUpperCase).Value(KeyPath, "N")));
  bytes = TRegistryText(bytes, Utf8Charset(), AsciiUpperCase).WithString(KeyPath, "M", "r\xC3\xA9p").value_or("");
  bytes = TRegistryText(bytes, Utf8Charset(), AsciiUpperCase)
              .WithString(KeyPath, "L", "a\n\xE2\x82\xAC")  // hex(1) form
              .value_or("");
  const TRegistryText reg(bytes, Utf8Charset(), AsciiUpperCase);
  EXPECT_EQ("S:" + utf8, Show(reg.Value(KeyPath, "N")));
  EXPECT_EQ("S:r\xC3\xA9p", Show(reg.Value(KeyPath, "M")));
  EXPECT_EQ("S:a\n\xE2\x82\xAC", Show(reg.Value(KeyPath, "L")));
  EXPECT_NE(std::string::npos, bytes.find(std::string("r\0\xE9\0p\0", 6)));
}

}  // namespace
