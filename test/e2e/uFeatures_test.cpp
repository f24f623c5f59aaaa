// End-to-end runs of several authors, the repository root and a log cut
// short; the harness is in uEndToEnd.h.
#include "test/e2e/uEndToEnd.h"

using namespace e2e;

namespace {

// One archive file with one revision of 2003/05/12.
std::string Section(const std::string& archive, const std::string& author, const std::string& message) {
  return "RCS file: " + archive + ",v\nhead: 1.1\ndescription:\n----------------------------\nrevision 1.1\n"
         "date: 2003/05/12 10:11:12;  author: " + author + ";  state: Exp;\n" + message + "\n" +
         std::string(77, '=') + "\n";
}

const std::string ShopLog = Section("/var/lib/cvs/shop/src/a.c", "dev1", "Shop.");
const std::vector<std::string> ShopBody = {"shop/", "    src/", "        a.c", "            Shop."};

struct TFeatureCase {
  const char* Name;
  std::vector<std::string> Args;  // besides DATE, PERSON and OUTPUT
  std::string Log;                // in\cvs.log, also standard input
  std::vector<std::string> Body;  // the report's lines behind the header
  std::string Failure = {};       // else this line, and the output stays as it was
  std::vector<std::string> NativeBody = {};  // where the native program differs
};

void PrintTo(const TFeatureCase& c, std::ostream* os) { *os << c.Name; }

class Features : public QuilletEndToEnd, public ::testing::WithParamInterface<TFeatureCase> {};

TEST_P(Features, ReportOrRefusal) {
  const TFeatureCase& c = GetParam();
  Write("in\\cvs.log", c.Log);
  FStdin = "in\\cvs.log";
  Write("out\\report.txt", "earlier\r\n");
  std::vector<std::string> args = {"/PERSON=tester", "/OUTPUT=out\\report.txt"};
  if (std::none_of(c.Args.begin(), c.Args.end(), [](const std::string& a) { return a.starts_with("/DATE="); }))
    args.push_back("/DATE=.ge10.05.2003");
  args.insert(args.end(), c.Args.begin(), c.Args.end());
  const TRunResult r = Run(args);
  if (!c.Failure.empty()) {
    ExpectFailure(r, Shown(c.Failure));
    EXPECT_EQ(Read("out\\report.txt"), "earlier\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(At("out")), fs::directory_iterator()), 1);
    return;
  }
  ExpectSuccess(r);
  const std::vector<std::string>& body = !Wine() && !c.NativeBody.empty() ? c.NativeBody : c.Body;
  ExpectForRunDay(Read("out\\report.txt"),
                  [&](const TDate& day) { return Header("tester", day) + CrLf(body) + "\r\n" + "earlier\r\n"; });
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, Features,
    ::testing::Values(
        TFeatureCase{"SeveralAuthors",
                     {"/AUTHOR=dev3,DEV1", "/INPUT=in\\cvs.log"},
                     SampleLog + Section("/cvsroot/proj/doc/a.txt", "dev3", "Docs.") +
                         Section("/cvsroot/proj/doc/b.txt", "dev2", "Not picked."),
                     [] {
                       std::vector<std::string> body = SampleReportBody;
                       body.insert(body.end(), {"    doc/", "        a.txt", "            Docs."});
                       return body;
                     }()},
        TFeatureCase{"RootWithBackslashes", {"/AUTHOR=dev1", "/ROOT=\\var\\lib\\cvs", "/INPUT=in\\cvs.log"}, ShopLog,
                     ShopBody},
        // Year first in the dd.MM.yyyy picture, as a range around the revision's day.
        TFeatureCase{"IsoDatesInARange",
                     {"/DATE=.le2003.05.12.gt2003-05-11", "/AUTHOR=dev1", "/ROOT=\\var\\lib\\cvs", "/INPUT=in\\cvs.log"},
                     ShopLog, ShopBody},
        // File names ignore case on Windows only.
        TFeatureCase{"RootInAnotherCase",
                     {"/AUTHOR=dev1", "/ROOT=\\VAR\\lib\\Cvs", "/INPUT=in\\cvs.log"},
                     ShopLog,
                     ShopBody,
                     "",
                     {"/", "    var/", "        lib/", "            cvs/", "                shop/", "                    src/",
                      "                        a.c", "                            Shop."}},
        TFeatureCase{"LogCutShort",
                     {"/AUTHOR=dev1", "/INPUT=in\\cvs.log"},
                     std::string(SampleLog) + "\nRCS file: /cvsroot/proj/src/new.c,v\nhead: 1.1\n",
                     {},
                     "The file in\\cvs.log ends inside a file section: the log is cut short!"},
        TFeatureCase{"PipeCutShort",
                     {"/AUTHOR=dev1", "/INPUT=-"},
                     SampleLog + Section("/cvsroot/proj/src/new.c", "dev1", "New.").substr(0, 120),
                     {},
                     "The file - (standard input) ends inside a file section: the log is cut short!"}),
    CaseName<TFeatureCase>);

}  // namespace
