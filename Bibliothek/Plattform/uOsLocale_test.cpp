#include "Bibliothek/Plattform/uOsLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "Bibliothek/Plattform/uOsRegistry.h"
#include "test/uTestSupport.h"

namespace {

TEST(OsLocale, UpperCaseKeepsTheLengthAndMapsAscii) {
  std::string text = std::string("date: ab\xF6z 1.2;", 15) + std::string(1, '\0') + "x";
  const std::size_t length = text.size();
  OsUpperCaseBuffer(text.data(), text.size());
  EXPECT_EQ(length, text.size());
  EXPECT_EQ("DATE: AB", text.substr(0, 8));
  EXPECT_EQ(" 1.2;", text.substr(10, 5));
  EXPECT_EQ('\0', text[15]);
  EXPECT_EQ('X', text[16]);
}

TEST(OsLocale, LocalDateTimeIsPlausible) {
  const TOsDateTime now = OsLocalDateTime();
  EXPECT_GE(now.Year, 2000);
  EXPECT_GE(now.Month, 1);
  EXPECT_LE(now.Month, 12);
  EXPECT_GE(now.Day, 1);
  EXPECT_LE(now.Day, 31);
}

TEST(OsLocale, ShortDatePictureHasDayMonthYearAndASeparator) {
  const std::string picture = OsShortDatePicture();
  EXPECT_NE(std::string::npos, picture.find('d')) << picture;
  EXPECT_NE(std::string::npos, picture.find('M')) << picture;
  EXPECT_NE(std::string::npos, picture.find('y')) << picture;
}

TEST(OsLocale, ShortDatePictureWithoutRegionalSettingIsIsoLike) {
  TTempDir dir;
  TEnvGuard registryFile("HKCU_FILE", dir.File("hkcu.reg"));
  if (OsRegistryFilePath().empty()) GTEST_SKIP() << "Windows always has a regional setting";
  const std::string saved = std::setlocale(LC_TIME, nullptr);
  struct {
    const char* Locale;
    const char* Picture;
  } const cases[] = {{"C", "yyyy-MM-dd"},           {"POSIX", "yyyy-MM-dd"},        {"C.UTF-8", "yyyy-MM-dd"},
                     {"de_DE.UTF-8", "dd.MM.yyyy"}, {"en_US.UTF-8", "MM/dd/yyyy"}};
  for (const auto& c : cases) {
    if (!std::setlocale(LC_TIME, c.Locale)) continue;  // a real locale that is not generated here
    EXPECT_EQ(c.Picture, OsShortDatePicture()) << c.Locale;
  }
  std::setlocale(LC_TIME, saved.c_str());
}

TEST(OsLocale, PlainAsciiLocaleGivesUtf8) {
  if (OsRegistryFilePath().empty()) GTEST_SKIP() << "Windows speaks its ANSI code page";
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "C");
  std::string text;
  EXPECT_TRUE(OsLocaleCharset().Append(text, 0xFC));
  EXPECT_EQ("\xC3\xBC", text);
  std::setlocale(LC_CTYPE, saved.c_str());
}

}  // namespace
