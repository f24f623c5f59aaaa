// The INI text's reader and editor on their own: the format's tables, which
// the INI module's contract test shares, and the upper case they are given.
#include "Bibliothek/Textformate/uIniText.h"

#include <gtest/gtest.h>

#include "Bibliothek/Textformate/uCharsetTestSupport.h"
#include "Bibliothek/Textformate/uIniTextTestTables.h"

namespace {

TEST(IniText, ReadsLikeTheProfileFunctions) {
  for (const TReadRow& row : ReadRows) {
    const TIniText text(row.Text, AsciiUpperCase);
    const std::string parsed = row.Key == KeyList ? Join(text.Keys(row.Section)) : text.Value(row.Section, row.Key);
    EXPECT_EQ(row.Expected, parsed) << "text: " << ::testing::PrintToString(std::string(row.Text));
  }
}

TEST(IniText, WritesLikeTheProfileFunctions) {
  for (const TWriteRow& row : WriteRows) {
    const std::string context = ::testing::PrintToString(std::string(row.Before ? row.Before : "(none)"));
    EXPECT_EQ(row.After, TIniText(row.Before ? row.Before : "", AsciiUpperCase).Stored(row.Section, row.Key, row.Value))
        << context;
  }
}

// Sections and keys are the same names only where the caller's mapping says
// so: the index of the entries and every look-up go through it alike.
TEST(IniText, NamesAreComparedAsTheGivenUpperCaseMapsThem) {
  const std::string text = "[Caf\xE9]\r\n\xF6l=1\r\n";
  const struct {
    TUpperCaseBuffer UpperCase;
    const char *Keys, *Value, *Stored;
  } rows[] = {
      {Latin1UpperCase, "\xF6l", "1", "[Caf\xE9]\r\n\xF6l=2\r\n"},
      {AsciiUpperCase, "", "", "[Caf\xE9]\r\n\xF6l=1\r\n[CAF\xC9]\r\n\xD6L=2\r\n"},
  };
  for (const auto& row : rows) {
    const TIniText ini(text, row.UpperCase);
    EXPECT_EQ(row.Value, ini.Value("CAF\xC9", "\xD6L"));
    EXPECT_EQ(row.Keys, Join(ini.Keys("caf\xC9")));
    EXPECT_EQ(row.Stored, ini.Stored("CAF\xC9", "\xD6L", "2"));
  }
}

}  // namespace
