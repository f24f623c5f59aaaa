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

}  // namespace
