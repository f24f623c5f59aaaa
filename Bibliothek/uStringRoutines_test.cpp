#include "Bibliothek/uStringRoutines.h"

#include <gtest/gtest.h>

namespace {

TEST(StringRoutinesTest, KeepCharsRemovesAllOthersAndCountsThem) {
  std::string empty;
  EXPECT_EQ(0, KeepChars(empty, DigitSet()));
  EXPECT_EQ("", empty);

  std::string date = ".ge-7";
  EXPECT_EQ(2, KeepChars(date, CharSet("0123456789-.")));
  EXPECT_EQ(".-7", date);

  std::string mixed = "aAbB";  // members are codes: 'a' keeps no 'A'
  EXPECT_EQ(2, KeepChars(mixed, CharSet("ab")));
  EXPECT_EQ("ab", mixed);
}

TEST(StringRoutinesTest, WordCount) {
  const struct {
    std::string text, delimiters;
    int count;
  } cases[] = {
      {"a,,b,", ",", 2}, {",,,", ",", 0},    {"", ",", 0},         {"  ", ",", 1},
      {"a", ",", 1},     {",a", ",", 1},     {"a b;c", " ;", 3},   {"\xE4,\xF6", ",", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(c.count, WordCount(c.text, CharSet(c.delimiters))) << c.text;
}

TEST(StringRoutinesTest, WordAt) {
  const struct {
    std::string text;
    int n;
    std::string word;
  } cases[] = {
      {"a,b", 0, ""},   {"a,b", 3, ""},          {"a,,b", 2, "b"},   {",,a,b,,", 1, "a"},
      {"a,b", -1, ""},  {" a, b ", 2, " b"},     {"", 1, ""},        {"abc", 1, "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.word, WordAt(c.text, CharSet(","), c.n)) << c.text << " " << c.n;
}

TEST(StringRoutinesTest, FieldAt) {
  const struct {
    std::string text, separator;
    int n;
    std::string field;
  } cases[] = {
      {"aXXb", "xx", 2, "b"},    {"aXXb", "xx", 1, "a"},   {"a,,b", ",", 2, "b"},  {"a,", ",", 2, ""},
      {",a,b", ",", 1, "a"},     {"a,b", ",", 0, ""},      {"a,b", ",", 3, ""},    {" a , b ", ",", 2, " b"},
      {"abc", "", 1, "abc"},     {"abc", "", 2, ""},       {"AbXcD", "x", 2, "cD"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.field, FieldAt(c.text, c.separator, c.n)) << c.text << " " << c.separator << " " << c.n;
}

TEST(StringRoutinesTest, DeleteCopyLeavesTheArgumentAlone) {
  const struct {
    std::string text;
    int start, count;
    std::string result;
  } cases[] = {
      {"abcdef", 3, 2, "abef"}, {"abc", 0, 2, "abc"},    {"abc", 4, 1, "abc"},
      {"abcdef", 5, 100, "abcd"}, {"abc", 1, 0, "abc"}, {"abc", 1, -1, "abc"},
  };
  for (const auto& c : cases) {
    const std::string before = c.text;
    EXPECT_EQ(c.result, DeleteCopy(c.text, c.start, c.count)) << c.text << " " << c.start;
    EXPECT_EQ(before, c.text);
  }
}

TEST(StringRoutinesTest, OneBasedHelpers) {
  EXPECT_EQ(3, Pos("c", "abcc"));
  EXPECT_EQ(0, Pos("", "abc"));
  EXPECT_EQ(0, Pos("x", "abc"));
  EXPECT_EQ(2, PosNoCase("BC", "abc"));
  EXPECT_EQ("bc", Copy("abcd", 2, 2));
  EXPECT_EQ("", Copy("abcd", 5, 1));
  EXPECT_EQ("cd", Copy("abcd", 3, 100));
  std::string s = "abcd";
  Delete(s, 2, 2);
  EXPECT_EQ("ad", s);
  Insert("XY", s, 2);
  EXPECT_EQ("aXYd", s);
  Insert("!", s, 99);
  EXPECT_EQ("aXYd!", s);
  EXPECT_EQ("ABC1", UpperCase("aBc1"));
  EXPECT_TRUE(SameText("Date", "DATE"));
  EXPECT_FALSE(SameText("Date", "DATES"));
  EXPECT_EQ("a \x01 b", Trim(std::string("\t\x01 a \x01 b \r\n ")));
  EXPECT_EQ("", Trim(" \x1F "));
}

TEST(StringRoutinesTest, ReadIntegerTakesTheWholeTextInItsRange) {
  const struct {
    const char* Text;
    bool Plus;
    std::optional<long long> Value;
  } cases[] = {
      {"42", false, 42},        {"-7", false, -7},          {"+7", true, 7},         {"+7", false, std::nullopt},
      {"+-7", true, std::nullopt}, {"", false, std::nullopt}, {"7x", false, std::nullopt}, {" 7", false, std::nullopt},
      {"2147483647", false, 2147483647}, {"2147483648", false, std::nullopt}, {"-2147483648", false, -2147483648LL},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.Value, ReadInteger(c.Text, -2147483648LL, 2147483647LL, c.Plus)) << c.Text;
}

}  // namespace
