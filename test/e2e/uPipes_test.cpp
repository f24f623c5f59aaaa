// End-to-end: "-" as the input or the output, a pipe's end.
#include "test/e2e/uEndToEnd.h"

using namespace e2e;

namespace {
// Pipes: "-" is standard input or standard output.

TEST_F(QuilletEndToEnd, PipeInAndOutGivesTheReportAloneAndLeavesNoFile) {
  Write("in\\cvs.log", SampleLog);
  Write("in\\aborted.log", "cvs [log aborted]: connect to cvs.invalid:2401 failed\n");
  FStdin = "in\\cvs.log";
  const TRunResult r = Run({"/DATE=.ge10.05.2003", "/AUTHOR=dev1", "/PERSON=tester", "/INPUT=-", "/OUTPUT=-"});
  EXPECT_EQ(r.ExitCode, 0);
  ExpectQuietStderr(r);
  ExpectForRunDay(r.Out, [&](const TDate& day) { return Header("tester", day) + CrLf(SampleReportBody) + "\r\n"; });
  EXPECT_TRUE(fs::is_empty(At("out")));  // no lock, no temporary file

  // A failed cvs in the pipe: the report file stays as it was.
  FStdin = "in\\aborted.log";
  Write("out\\report.txt", "earlier\r\n");
  ExpectFailure(Run(SampleArgs({"/DATE=.ge10.05.2003", "/INPUT=-"})),
                "The file - (standard input) holds no cvs log or rlog output!");
  EXPECT_EQ(Read("out\\report.txt"), "earlier\r\n");
}

}  // namespace
