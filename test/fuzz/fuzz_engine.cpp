// The engine on any bytes as the log and, optionally, as the old report.
// Byte 0 chooses the operator (bits 0-2), the author (bit 3: dev1, else
// every author; with bit 7 a list of authors instead), whether an old report
// follows (bit 4) and the reference date (bits 5-6); byte 1 a piece size; with an old report bytes 2-3 give
// its length, taken from the end; byte 3's top bits a number of parts (1-4).
// Properties: the report is the same whether the log is read in 1 MiB, in
// 64-byte or in odd pieces, and whether it is cut into parts (forced, however
// small the log) or scanned in one, and whether the searches use vectors or
// go byte by byte; it ends
// with the old report's lines; and every other line is the header, a line
// of the log (indented) or a part of a section's first line (the tree).
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "filter/uByteSearch.h"
#include "filter/uQuilletTestEnvironment.h"
#include "test/fuzz/uFuzzSupport.h"

namespace {
const TDateOperator Operators[] = {TDateOperator::Equal, TDateOperator::Greater, TDateOperator::GreaterEqual,
                                    TDateOperator::Less, TDateOperator::LessEqual};
const char* const Dates[] = {"2003/05/10", "1990/01/01", "2026/12/07", "20x3/0a/1"};
const std::string Header = "User: tester\r\nDatum: 14.05.2003\r\n\r\n";

// Cut as the engine cuts: at CR LF, lone CR and lone LF; a last line without
// a break is a line, a break at the end adds none.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

bool IsSectionStart(std::string_view line) {
  static const std::string_view label = "RCS FILE:";
  if (line.size() < label.size()) return false;
  for (std::size_t i = 0; i < label.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(line[i])) != label[i]) return false;
  return true;
}

std::string Run(const std::uint8_t flags, const std::string& log, const std::optional<std::string>& old,
                std::size_t piece, std::size_t parts = 1) {
  TQuillet engine(TestEnvironment());
  engine.SetParts(parts);
  engine.SetDateOperator(Operators[(flags & 7) % 5]);
  engine.SetDate(Dates[(flags >> 5) & 3]);
  engine.SetPerson("tester");
  if (flags & 128)
    engine.SetAuthor(flags & 8 ? "nobody, dev1,a" : "dev2,DEV11");
  else
    engine.SetAuthor(flags & 8 ? "dev1" : "");
  return engine.RunOnText(log, old, piece);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint8_t flags = data[0];
  const std::size_t piece = 1 + data[1] % 200;
  std::string log(reinterpret_cast<const char*>(data) + 4, size - 4);
  std::optional<std::string> old;
  if (flags & 16) {
    const std::size_t length = std::min<std::size_t>(log.size(), data[2] | (data[3] << 8));
    old = log.substr(log.size() - length);
    log.resize(log.size() - length);
  }

  const std::string report = Run(flags, log, old, 0);
  FUZZ_CHECK(Run(flags, log, old, 64) == report, "64-byte pieces give the same report");
  FUZZ_CHECK(Run(flags, log, old, piece) == report, "odd pieces give the same report");
  const std::size_t parts = 1 + (data[3] >> 6);
  FUZZ_CHECK(parts == 1 || Run(flags, log, old, piece, parts) == report, "parts give the report of one scan");
  SetSearchWidth(TSearchWidth::Scalar);
  const std::string byBytes = Run(flags, log, old, piece);
  SetSearchWidth(TSearchWidth::Best);
  FUZZ_CHECK(byBytes == report, "searches byte by byte give the same report");

  std::string oldLines;
  if (old)
    for (std::string_view line : Lines(*old)) (oldLines += line) += "\r\n";
  FUZZ_CHECK(report.size() >= oldLines.size() + 2 && report.ends_with("\r\n" + oldLines), "ends with the old report");
  std::string_view body(report.data(), report.size() - oldLines.size() - 2);  // without the empty line
  if (body.empty()) return 0;
  FUZZ_CHECK(body.starts_with(Header) && body.ends_with("\r\n"), "header first, whole lines");
  body.remove_prefix(Header.size());

  const std::vector<std::string_view> logLines = Lines(log);
  const std::unordered_set<std::string_view> known(logLines.begin(), logLines.end());
  // A tree line is a part of a section's first line, or of it without its
  // first "/DATA" (which the tree leaves out).
  std::vector<std::string> sectionStarts;
  for (std::string_view line : logLines)
    if (IsSectionStart(line)) {
      sectionStarts.emplace_back(line);
      if (const std::size_t at = line.find("/DATA"); at != std::string_view::npos)
        sectionStarts.push_back(std::string(line).erase(at, 5));
    }
  while (!body.empty()) {
    const std::size_t end = body.find("\r\n");
    const std::string_view line = body.substr(0, end);
    body.remove_prefix(end + 2);
    bool fromLog = false;
    for (std::size_t indent = 0; !fromLog && indent <= line.size(); indent += 4) {
      const std::string_view text = line.substr(indent);
      fromLog = known.count(text) != 0;
      for (std::size_t i = 0; !fromLog && !text.empty() && i < sectionStarts.size(); ++i)
        fromLog = sectionStarts[i].find(text) != std::string_view::npos;
      if (line.substr(indent, 4) != "    ") break;
    }
    FUZZ_CHECK(fromLog, "every report line comes from the log");
  }
  return 0;
}
