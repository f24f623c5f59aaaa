#include "Bibliothek/uDateRoutines.h"

#include <gtest/gtest.h>

#include "Bibliothek/Plattform/uOsRegistry.h"
#include "test/uTestSupport.h"

namespace {
class DateRoutines : public ::testing::Test {
protected:
  void SetUp() override { SetTodayForTests(TDate{2026, 12, 6}); }
  void TearDown() override { SetTodayForTests(std::nullopt); }
};

TEST_F(DateRoutines, SeparatorIsTheFirstCharacterThatIsNoLetter) {
  EXPECT_EQ('.', DateSeparator("dd.MM.yyyy"));
  EXPECT_EQ('/', DateSeparator("M/d/yyyy"));
  EXPECT_EQ('-', DateSeparator("yyyy-MM-dd"));
  EXPECT_EQ('-', DateSeparator("d-M-yy"));
  EXPECT_EQ('\0', DateSeparator("ddMMyyyy"));
  EXPECT_EQ('.', DateSeparator("yyyy. MM. dd."));
  EXPECT_EQ('.', DateSeparator("'\xE4' d.M.yyyy"));
  EXPECT_EQ(' ', DateSeparator("dd MM yyyy"));
}

TEST_F(DateRoutines, FormatsInThePicture) {
  const struct {
    const char* Picture;
    TDate Date;
    const char* Text;
  } cases[] = {
      {"dd.MM.yyyy", {2026, 3, 5}, "05.03.2026"},
      {"M/d/yyyy", {2026, 3, 5}, "3/5/2026"},
      {"yyyy-MM-dd", {2026, 3, 5}, "2026-03-05"},
      {"d-M-yy", {2004, 11, 25}, "25-11-04"},
      {"d.M.y", {2005, 1, 2}, "2.1.5"},
      {"dd'.'MM yyyy", {999, 12, 31}, "31.12 0999"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Text, FormatShortDate(c.Date, c.Picture)) << c.Picture;
}

TEST_F(DateRoutines, ReadsInThePicturesOrder) {
  const struct {
    const char* Picture;
    const char* Text;
    TDate Date;
  } cases[] = {
      {"dd.MM.yyyy", "15.01.2004", {2004, 1, 15}},
      {"dd.MM.yyyy", "15.1.04", {2004, 1, 15}},
      {"dd.MM.yyyy", "15.01.2004.", {2004, 1, 15}},   // one trailing separator
      {"dd.MM.yyyy", "15.01", {2026, 1, 15}},         // two numbers: this year
      {"dd.MM.yyyy", "15.01.", {2026, 1, 15}},
      {"dd.MM.yyyy", "29.2.2004", {2004, 2, 29}},
      {"M/d/yyyy", "1/15/2004", {2004, 1, 15}},
      {"M/d/yyyy", "12/6", {2026, 12, 6}},
      {"M/d/yyyy", "1.15.2004", {2004, 1, 15}},      // a switch value cannot hold "/"
      {"yyyy-MM-dd", "2004-01-15", {2004, 1, 15}},
      {"yyyy-MM-dd", "01-15", {2026, 1, 15}},         // month and day in the format's order
      {"d-M-yy", "15-1-04", {2004, 1, 15}},
      // Two-digit years land in [current year - 50, current year + 49].
      {"d-M-yy", "1-1-76", {1976, 1, 1}},
      {"d-M-yy", "1-1-75", {2075, 1, 1}},
      {"d-M-yy", "1-1-26", {2026, 1, 1}},
  };
  for (const auto& c : cases) {
    const std::optional<TDate> date = ParseShortDate(c.Text, c.Picture);
    ASSERT_TRUE(date.has_value()) << c.Text;
    EXPECT_EQ(c.Date, *date) << c.Text;
  }
}

TEST_F(DateRoutines, RefusesWhatIsNoDate) {
  for (const char* text : {"", "15", "15.", "31.02.2004", "29.02.2003", "15.13.2004", "0.1.2004",
                           "15.01.2004..", "15..01.2004", ".15.01.2004", "15.01.2004.1",
                           "15/01/2004", "15.01.2004x", "1234567890.1.2004", "1.1.0000"})
    EXPECT_FALSE(ParseShortDate(text, "dd.MM.yyyy").has_value()) << text;
}

TEST_F(DateRoutines, AddsDaysAcrossMonthsYearsAndLeapDays) {
  EXPECT_EQ((TDate{2026, 11, 29}), AddDays({2026, 12, 6}, -7));
  EXPECT_EQ((TDate{2004, 2, 29}), AddDays({2004, 2, 28}, 1));
  EXPECT_EQ((TDate{2004, 1, 1}), AddDays({2003, 12, 31}, 1));
  EXPECT_EQ((TDate{1900, 2, 28}), AddDays({1900, 3, 1}, -1));
  EXPECT_EQ((TDate{2000, 2, 29}), AddDays({2000, 3, 1}, -1));
  EXPECT_EQ((TDate{2026, 12, 9}), AddDays({2026, 12, 6}, 3));
  EXPECT_FALSE(AddDays({9999, 12, 31}, 1).has_value());
  EXPECT_FALSE(AddDays({1, 1, 1}, -1).has_value());
  EXPECT_FALSE(AddDays({2026, 12, 6}, 2147483648LL).has_value());
}

TEST_F(DateRoutines, TestsReplaceTodayAndThePicture) {
  EXPECT_EQ((TDate{2026, 12, 6}), Today());
  SetShortDatePictureForTests("yyyy-MM-dd");
  EXPECT_EQ("yyyy-MM-dd", ShortDatePicture());
  SetShortDatePictureForTests(std::nullopt);
  SetTodayForTests(std::nullopt);
  EXPECT_TRUE(IsValidDate(Today()));
}

TEST(ShortDatePicture, UsersOwnSettingWins) {
  // The user's setting lives in the registry on both platforms.
  TTempDir dir;
  TEnvGuard registryFile("HKCU_FILE", dir.File("hkcu.reg"));
  if (OsRegistryFilePath().empty())
    GTEST_SKIP() << "the real registry's regional settings are the whole prefix's; the end-to-end "
                    "tests set them before the program starts";
  ASSERT_TRUE(OsRegWriteString("Control Panel\\International", "sShortDate", "yyyy-MM-dd"));
  EXPECT_EQ("yyyy-MM-dd", ShortDatePicture());
  ASSERT_TRUE(OsRegWriteString("Control Panel\\International", "sShortDate", "d/M/yy"));
  EXPECT_EQ("d/M/yy", ShortDatePicture());
}
}  // namespace
