// The line reader: line ends of every kind, lines across its chunks and far
// longer than them, and the skip ahead to the lines that may pick a file.
#include "filter/uLineReader.h"

#include "filter/uEngineTestFixture.h"

namespace {
TEST_F(Quillet, LineEndsNulsAndTheOldReport) {
  // CR LF, lone CR and LF all end a line; a NUL is an ordinary character.
  using namespace std::string_literals;
  const std::string input = "RCS file: /cvsroot/x.c,v\r\n" + Dashes + "\r\nrevision 1.1\r" +
                            "date: 2003/05/10 1;  author: dev1;\ra\0b\r\n\rc\n"s + EndRow + "\r\n";
  TQuillet engine(TestEnvironment());
  engine.SetDate("2003/05/10");
  engine.SetPerson("tester");
  EXPECT_EQ(Header + crlf({"x.c", std::string("    a\0b", 7), "    ", "    c", "", "old", "", "older"}),
            engine.RunOnText(input, std::string("old\r\rolder")));
  // An old report in CR LF is copied as it is, other line ends are mended.
  const std::string x(3u << 20, 'x'), y(100, 'y'), a(600000, 'a'), b(600000, 'b');
  const std::pair<std::string, std::string> olds[] = {
      {"a\r\nb\r\n", "a\r\nb\r\n"}, {"a\r\nb", "a\r\nb\r\n"}, {"a\r\nb\n\rc\r\n", "a\r\nb\r\n\r\nc\r\n"},
      {x + "\r\n" + y + "\r\r\n", x + "\r\n" + y + "\r\n\r\n"}, {a + "\r\n" + b + "\r\n\n", a + "\r\n" + b + "\r\n\r\n"}};
  for (const bool threads : {true, false}) {
    SetEngineThreads(threads);
    for (const auto& [old, mended] : olds) EXPECT_EQ("\r\n" + mended, engine.RunOnText("", old)) << old.substr(0, 20);
  }
  SetEngineThreads(true);
}

TEST_F(Quillet, LinesAcrossTheReadersChunksAndVeryLongLines) {
  // The reader takes 1 MiB at a time: put a CR LF on every position around
  // that boundary, and one line of 3 MiB.
  const std::string head = "RCS file: /cvsroot/x.c,v\n" + Revision + "date: 2003/05/10 1;  author: dev1;\n";
  for (std::size_t at = (1u << 20) - 3; at <= (1u << 20) + 1; ++at) {
    const std::string filler(at - head.size(), 'f');
    const std::string report = Filter(head + filler + "\r\nnext\r\n" + EndRow + "\r\n", ".EQ", "2003/05/10", "dev1");
    EXPECT_EQ(Header + crlf({"x.c", "    " + filler, "    next", ""}), report) << at;
  }
  const std::string longLine(3u << 20, 'L');
  EXPECT_EQ(Header + crlf({"x.c", "    " + longLine, ""}),
            Filter(head + longLine + "\n" + EndRow + "\n", ".EQ", "2003/05/10", "dev1"));
}

TEST_F(Quillet, SkippedLinesAcrossTheReadersChunks) {
  // Outside a copy the reader skips ahead. Move a section across the 1 MiB
  // boundary byte by byte, so that each label, the author's name, the rows of
  // a revision's header, a CR LF and a lone CR in turn straddle it. The filler
  // ahead holds colons inside a section whose revisions are by someone else.
  const std::string open = "RCS file: /cvsroot/a.c,v\r\n" + Revision + "date: 2003/05/10 1;  author: dev2;\n";
  const std::string block = "RCS file: /cvsroot/b.c,v\r\n" + Dashes + "\nrevision 1.2\r\n" +
                            "date: 2003/05/10 1;  AuThOr: dev11;\n" + Dashes + "\rrevision 1.1\n" +
                            "date: 2003/05/10 1;  author: dev1;\r" + "copied: 1\r\n" + EndRow + "\n";
  for (std::size_t at = (1u << 20) - 150; at <= (1u << 20) + 2; ++at) {
    std::string input = open;
    while (input.size() + 16 + EndRow.size() + 2 < at) input += "msg: x author:\r\n";
    input += std::string(at - input.size() - EndRow.size() - 2, 'f') + "\r\n" + EndRow + "\r";
    EXPECT_EQ(Header + crlf({"b.c", "    copied: 1", ""}), Filter(input + block, ".EQ", "2003/05/10", "dev1"))
        << at;
  }
}

TEST_F(Quillet, SkippingKeepsEveryLineThatMayPick) {
  // Label and name variants the skipping must neither miss nor take wrongly.
  struct TCase {
    const char* Author;
    std::string Input;
    std::string Picked;  // the report's lines behind the header
  };
  const std::string start = "RCS file: /cvsroot/x.c,v\n" + Revision;
  const TCase cases[] = {
      {"dev1", start + "date: 2003/05/10 1;  author: dev1", "x.c"},  // name at the very end
      {"dev1", start + "date: 2003/05/10 1;  author: dev1\nm\n", "x.c|    m"},
      {"dev1", start + "date: 2003/05/10 1;  author: dev1;", "x.c"},
      {"dev1", start + "date: 2003/05/10 1;  author: dev12;\n", ""},
      {"dev1", start + "date: 2003/05/10 1;  author:\ndev1;\n", ""},
      {"dev1", start + "date: 2003/05/10 1;  author:", ""},
      {"", start + "date: 2003/05/10 1;  author:\nm\n", "x.c|    m"},
      {"DEV1", start + "date: 2003/05/10 1;  aUtHoR: dEv1;\nm\n", "x.c|    m"},
      // Several authors: names that begin alike or not, and more first letters than the scan compares.
      {"nobody,dev1", start + "date: 2003/05/10 1;  author: dev1", "x.c"},
      {"alice, DEV1", start + "date: 2003/05/10 1;  aUtHoR: dEv1;\nm\n", "x.c|    m"},
      {"dev1,dev2", start + "date: 2003/05/10 1;  author: dev12;\n", ""},
      {"a,b,c,d,dev1", start + "date: 2003/05/10 1;  author: dev1;\nm\n", "x.c|    m"},
      {"dev3,dev1", start + "date: 2003/05/10 1;  author: dev2; author: dev1;\n", ""},
      // The first author label decides, however the later ones read.
      {"dev1", start + "date: 2003/05/10 1;  author: dev2; author: dev1;\n", ""},
      {"dev1", "x RCS file: /cvsroot/y.c,v\n" + Revision + "date: 2003/05/10 1;  author: dev1;\n", ""},
      // A date line that starts like an end row, also when it runs beyond the chunk read.
      {"", start + "=date: 2003/05/10 1;  author: dev1;\nm\n", "x.c|    m"},
      // A revision's header rows of any length, well beyond what the reader keeps of other lines.
      {"dev1", "RCS file: /cvsroot/x.c,v\n" + std::string(3000, 'f') + "\n" + Dashes + std::string(3000, ' ') +
           "\nrevision 1.1" + std::string(3000, 'r') + "\ndate: 2003/05/10 1;  author: dev1;\nm\n", "x.c|    m"},
  };
  for (const TCase& c : cases) {
    // Read whole and in pieces that put a chunk's end on every byte.
    for (std::size_t piece = 0; piece <= 64; ++piece)
      EXPECT_EQ(Report(c.Picked), Filter(c.Input, ".EQ", "2003/05/10", c.Author, piece)) << c.Input << piece;
  }
}
TEST_F(Quillet, LinesBeyondTheBoundAreCopiedOrPassedInPieces) {
  // A line longer than the reader holds is no row the rules look for, wherever
  // its break falls among the reader's chunks; it is copied whole, and the
  // lines around it count as ever.
  const std::string start = "RCS file: /cvsroot/x.c,v\n" + Revision;
  const std::string date = "date: 2003/05/10 1;  author: dev1;";
  const std::string over(LongLineBytes + 1 - date.size(), ' '), at(LongLineBytes, 'L'), beyond(LongLineBytes + 1, 'L');
  const struct {
    std::string Input, Picked;
  } rows[] = {
      {start + date + over + "\nm\n" + EndRow + "\n" + start + date + "\nn\n", "x.c|    n"},
      {"RCS file: /cvsroot/y.c,v" + over + date + "\n" + Revision + date + "\nm\n", ""},
      {start + date + "\n" + at + "\r\nn\n", "x.c|    " + at + "|    n"},
      {start + date + "\n" + beyond + "\r\n" + beyond + "\r" + EndRow + "\nm\n", "x.c|    " + beyond + "|    " + beyond},
      {beyond + "\n" + start + date + "\n" + beyond, "x.c|    " + beyond},
  };
  for (const auto& row : rows)
    for (const std::size_t piece : {std::size_t{0}, std::size_t{4093}})
      EXPECT_EQ(Report(row.Picked), Filter(row.Input, ".EQ", "2003/05/10", "dev1", piece))
          << row.Input.substr(0, 60) << " " << piece;
}

// The reader on its own: every kind of line end, read in pieces of every size.
TEST(LineReader, CutsAtEveryBreakWhateverThePieces) {
  const struct {
    std::string Text;
    std::vector<std::string> Lines;
  } cases[] = {
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\n", {"a"}},
      {"a\n\n", {"a", ""}},
      {"\r\n\r", {"", ""}},
      {"x\r\r\ny", {"x", "", "y"}},
      {"a\r", {"a"}},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}},
      {"", {}},
  };
  for (const auto& c : cases)
    for (const std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{2}}) {
      TTextSource source(c.Text, piece);
      TLineReader reader(source);
      std::vector<std::string> lines;
      for (std::string_view line; reader.Next(line);) lines.emplace_back(line);
      EXPECT_EQ(c.Lines, lines) << "piece " << piece;
    }
  TTextSource source("no colon\nab: c: d\n");
  TLineReader reader(source);
  std::string_view line;
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(std::string_view::npos, reader.FirstColon());
  ASSERT_TRUE(reader.Next(line));
  EXPECT_EQ(2u, reader.FirstColon());
}
}  // namespace
