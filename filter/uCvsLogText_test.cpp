#include "filter/uCvsLogText.h"

#include <gtest/gtest.h>

#include "filter/uQuilletTestEnvironment.h"

namespace {

TEST(CvsLogText, RowsThatGiveALogItsStructure) {
  const std::string dashes(28, '-'), ends(77, '=');
  const struct {
    std::string Line;
    bool EndRow, DashRow, RevisionRow;
  } rows[] = {
      {ends, true, false, false},          {ends + " \t\r", true, false, false}, {ends + "=", false, false, false},
      {ends.substr(1), false, false, false}, {dashes, false, true, false},      {dashes + "-", false, false, false},
      {"revision 1.2", false, false, true}, {"revision1.2", false, false, false}, {" revision 1.2", false, false, false},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(r.EndRow, IsEndRow(r.Line)) << r.Line;
    EXPECT_EQ(r.DashRow, IsDashRow(r.Line)) << r.Line;
    EXPECT_EQ(r.RevisionRow, IsRevisionRow(r.Line)) << r.Line;
  }
  // A date line stands right below a row of dashes and a revision number, and nowhere else.
  const struct {
    std::vector<std::string> Above;
    int Step;
  } headers[] = {
      {{dashes, "revision 1.2"}, 2}, {{"revision 1.2"}, 0},          {{dashes}, 1},
      {{dashes, "text", "revision 1.2"}, 0}, {{"revision 1.2", dashes}, 1}, {{dashes, "revision 1.2", "x"}, 0},
  };
  for (const auto& h : headers) {
    int step = 0;
    for (const std::string& line : h.Above) step = RevisionHeaderStep(step, line);
    EXPECT_EQ(h.Step, step) << h.Above.size() << " lines, the last " << h.Above.back();
  }
  EXPECT_TRUE(IsSectionStart(TestEnvironment().UpperCase, "rcs FILE: /cvsroot/a.c,v", "RCS FILE:"));
  EXPECT_FALSE(IsSectionStart(TestEnvironment().UpperCase, " RCS file: /cvsroot/a.c,v", "RCS FILE:"));
}

TEST(CvsLogText, DatesCompareAsYearMonthDay) {
  const struct {
    const char* Entry;
    const char* Op;
    bool Holds;
  } cases[] = {
      {"2003/05/12", ".GE", true},  {"2003-05-12", ".GE", true},  {"2003/05/09", ".GE", false},
      {"2003/05/10", ".GT", false}, {"2003/05/10", ".EQ", true},  {"2003-05-10", ".EQ", true},
      {"2004/01/01", ".LT", false}, {"2002/12/31", ".LE", true},  {"2003/5/10", ".EQ", false},
      {"2003/xx/10", ".GE", false}, {"2003/+5/10", ".EQ", false}, {"", ".LE", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.Holds, CompareDates(c.Entry, "2003/05/10", *DateOperatorFromText(c.Op))) << c.Entry << " " << c.Op;
}

TEST(CvsLogText, TheRootIsCutAtWholeComponents) {
  const TUpperCaseTable& upper = TestEnvironment().UpperCase;
  const struct {
    const char* Archive;
    const char* Root;  // nullptr: none named
    bool IgnoreCase;
    const char* Path;
  } cases[] = {
      {"/cvsroot/proj/a.c", nullptr, false, "proj/a.c"},
      {"/DATA/cvsroot/proj/a.c", nullptr, false, "proj/a.c"},
      {"/var/lib/cvsroot/proj/a.c", nullptr, false, "proj/a.c"},
      {"/DATA/proj/a.c", nullptr, false, "/proj/a.c"},
      {"/DATAX/proj/a.c", nullptr, false, "/DATAX/proj/a.c"},
      {"/home/DATA", nullptr, false, "/home"},
      {"/mycvsroot/proj/a.c", nullptr, false, "/mycvsroot/proj/a.c"},
      {"/var/lib/cvs/shop/src/a.c", "/var/lib/cvs", false, "shop/src/a.c"},
      {"/var/lib/cvs/shop/src/a.c", "\\var\\lib\\cvs\\", false, "shop/src/a.c"},
      {"/var/lib/cvsx/shop/a.c", "/var/lib/cvs", false, "/var/lib/cvsx/shop/a.c"},
      {"/Var/Lib/CVS/shop/a.c", "/var/lib/cvs", false, "/Var/Lib/CVS/shop/a.c"},
      {"/Var/Lib/CVS/shop/a.c", "/var/lib/cvs", true, "shop/a.c"},
      {"C:\\cvsrepo/module/a.c", "C:\\cvsrepo", false, "module/a.c"},
      {"/other/cvsroot/proj/a.c", "/var/lib/cvs", false, "proj/a.c"},
  };
  for (const auto& c : cases) {
    TRepositoryRoot root;
    if (c.Root) {
      root.Set = true;
      root.Path = c.Root;
      while (!root.Path.empty() && (root.Path.back() == '/' || root.Path.back() == '\\')) root.Path.pop_back();
      if (c.IgnoreCase) root.Upper = &upper;
    }
    std::string path;
    WithoutRoot(c.Archive, root, path);
    EXPECT_EQ(c.Path, path) << c.Archive << " under " << (c.Root ? c.Root : "(no root)");
  }
}

TEST(CvsLogText, FolderPartsStopAtTheDepthCap) {
  std::vector<std::string> folders;
  EXPECT_EQ("a.c", FolderParts("proj/src/a.c", 32, folders));
  EXPECT_EQ((std::vector<std::string>{"proj/", "src/"}), folders);
  EXPECT_EQ("a.c", FolderParts("p/q/r/s/a.c", 2, folders));
  EXPECT_EQ((std::vector<std::string>{"p/", "q/r/s/"}), folders);
  EXPECT_EQ("a.c", FolderParts("a.c", 2, folders));
  EXPECT_TRUE(folders.empty());
}

}  // namespace
