#include "filter/uDateConditions.h"

#include <gtest/gtest.h>

#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uFailure.h"

namespace {
const std::string SUnknown = "The format of date is unknown!";

std::string Normalize(const std::string& text) { return NormalizeDate(text, SUnknown); }

class DateConditions : public ::testing::Test {
protected:
  void SetUp() override {
    SetTodayForTests(TDate{2026, 12, 6});
  }
  void TearDown() override {
    SetTodayForTests(std::nullopt);
    SetShortDatePictureForTests(std::nullopt);
  }
};

TEST_F(DateConditions, OperatorIsFoundAnywhereAndLaterOnesWin) {
  // Count and OtherLetters: what CountDateOperators tells about a slip.
  const struct {
    const char* Text;
    const char* Operator;
    int Count;
    bool OtherLetters;
  } cases[] = {
      {".ge15.01.2004", ".GE", 1, false}, {".LT 15.01.2004", ".LT", 1, false}, {"15.01.2004.gt", ".GT", 1, false},
      {".gtx", ".GT", 0, true},           {".ge.le", ".LE", 2, false},         {".gt.lt", ".LT", 2, false},
      {".Gt.gE", ".GE", 2, false},        {"06.12.2026", ".EQ", 0, false},     {".ne5", ".EQ", 0, true},
      {".eq-7", ".EQ", 1, false},         {"", ".EQ", 0, false},               {"gt", ".EQ", 0, true},
      {"ge-7", ".EQ", 0, true},           {".ge-7x", ".GE", 1, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Operator, DateOperatorText(ExtractDateOperator(c.Text))) << c.Text;
    bool otherLetters = !c.OtherLetters;
    EXPECT_EQ(c.Count, CountDateOperators(c.Text, otherLetters)) << c.Text;
    EXPECT_EQ(c.OtherLetters, otherLetters) << c.Text;
  }
}

TEST_F(DateConditions, NormalisesInSeveralShortDateFormats) {
  const struct {
    const char* Picture;
    const char* Text;
    const char* Date;
  } cases[] = {
      {"dd.MM.yyyy", ".ge15.01.2004", "2004/01/15"},
      {"dd.MM.yyyy", ".LT 15.01.2004", "2004/01/15"},
      {"dd.MM.yyyy", ".eq-7", "2026/11/29"},
      {"dd.MM.yyyy", "-1", "2026/12/05"},
      {"dd.MM.yyyy", "06.12.2026", "2026/12/06"},
      {"dd.MM.yyyy", ".eq-0", "2026/12/06"},
      {"dd.MM.yyyy", "--3", "2026/12/09"},
      {"dd.MM.yyyy", ".ge -7", "2026/11/29"},
      {"dd.MM.yyyy", "1.2.", "2026/02/01"},
      {"M/d/yyyy", ".ge1/15/2004", "2004/01/15"},
      {"M/d/yyyy", ".le 1/15/04", "2004/01/15"},
      {"M/d/yyyy", ".eq-7", "2026/11/29"},
      {"M/d/yyyy", "12/6/2026", "2026/12/06"},
      {"M/d/yyyy", ".eq12-6-2026", "2026/12/06"},  // "-" for the "/" that an INI value cannot hold
      {"dd/MM/yyyy", ".ge15-01-2004", "2004/01/15"},
      {"yyyy-MM-dd", ".ge2004-01-15", "2004/01/15"},
      {"yyyy-MM-dd", ".eq-7", "2026/11/29"},
      {"yyyy-MM-dd", "2000-02-29", "2000/02/29"},
      {"d-M-yy", ".ge15-1-04", "2004/01/15"},
      {"d-M-yy", ".gt-30", "2026/11/06"},
      {"d-M-yy", "6-12-26", "2026/12/06"},
      {"d,M,yyyy", ".lt-7", "2026/11/29"},
      {"d,M,yyyy", "5,3,2004", "2004/03/05"},
      {"dd MM yyyy", ".ge -7", "2026/11/29"},
      {"dd MM yyyy", ".ge 15 01 2004", "2004/01/15"},
      // A year of four digits first: ISO order in every picture.
      {"dd.MM.yyyy", "2026-12-01", "2026/12/01"},
      {"dd.MM.yyyy", ".ge2026.12.01", "2026/12/01"},
      {"M/d/yyyy", ".ge2026-12-01", "2026/12/01"},
      {"d-M-yy", "2026-2-3", "2026/02/03"},
      {"dd MM yyyy", ".lt 2026-12-01", "2026/12/01"},
  };
  for (const auto& c : cases) {
    SetShortDatePictureForTests(std::string(c.Picture));
    EXPECT_EQ(c.Date, Normalize(c.Text)) << c.Picture << " " << c.Text;
  }
}

TEST_F(DateConditions, TodayWrittenInTheFormatReadsBack) {
  // Also stock regional pictures: blanks behind the separator, a trailing
  // separator, quoted literal text (Bulgarian "г." in code page 1251).
  for (const char* picture : {"dd.MM.yyyy", "M/d/yyyy", "yyyy-MM-dd", "d-M-yy", "dd/MM/yyyy", "d.M.yyyy",
                              "yyyy. MM. dd.", "d. M. yyyy", "dd. MM. yyyy.", "yyyy. M. d.", "d.M.yyyy '\xE3.'",
                              "dd.MM.yyyy.", "yyyy/MM/dd", "dd-MM-yy"}) {
    SetShortDatePictureForTests(std::string(picture));
    EXPECT_EQ("2026/12/06", Normalize(FormatShortDate(Today(), picture))) << picture;
    EXPECT_EQ("2026/11/29", Normalize(".ge-7")) << picture;
    EXPECT_EQ("2004/01/15", Normalize(".ge" + FormatShortDate(TDate{2004, 1, 15}, picture))) << picture;
  }
}

TEST_F(DateConditions, OneConditionOrALowerAndAnUpperOne) {
  SetShortDatePictureForTests(std::string("dd.MM.yyyy"));
  const std::string badOperator = "The date operator is not guilty!";
  const struct {
    const char* Text;
    const char* Read;  // the conditions as ".OP yyyy/mm/dd", or the failure
  } cases[] = {
      {".ge-7", ".GE 2026/11/29"},
      {"06.12.2026", ".EQ 2026/12/06"},
      {".ge-7.lt-0", ".GE 2026/11/29 .LT 2026/12/06"},
      {".le07.12.2026.ge01.12.2026", ".LE 2026/12/07 .GE 2026/12/01"},
      {".gt2026-12-01 .le-1", ".GT 2026/12/01 .LE 2026/12/05"},
      {".ge-7.gt-3", "The date operator is not guilty!"},
      {".lt-7.le-3", "The date operator is not guilty!"},
      {".eq-7.lt-0", "The date operator is not guilty!"},
      {".ge-7.lt-0.le-1", "The date operator is not guilty!"},
      {"ge-7", "The date operator is not guilty!"},
      {".ge10.05.2003.le", "The format of date is unknown!"},
      {"xyz", "The format of date is unknown!"},
  };
  for (const auto& c : cases) {
    std::string read;
    try {
      for (const TDateCondition& condition : ReadDateConditions(c.Text, SUnknown, badOperator))
        read += (read.empty() ? "" : " ") + DateOperatorText(condition.Operator) + " " + condition.Date;
    } catch (const EFailure& failure) {
      read = failure.Message();
    }
    EXPECT_EQ(c.Read, read) << c.Text;
  }
}

TEST_F(DateConditions, WhatIsNoDateFailsWithTheMessage) {
  SetShortDatePictureForTests(std::string("dd.MM.yyyy"));
  for (const char* text : {"", ".", "-", "xyz", ".ge", "..15.01.2004", "-7.ge", "-3.5", "-1,5",
                           "31.02.2004", ".ge2004/01/15", "-2147483648", "--2147483648",
                           "-99999999999", "15.01.2004.1"}) {
    try {
      Normalize(text);
      ADD_FAILURE() << "no failure for " << text;
    } catch (const EFailure& failure) {
      EXPECT_EQ("The format of date is unknown!", failure.Message()) << text;
    }
  }
}
}  // namespace
