#pragma once
// The report: its header, each picked file as a line of the folder tree, the
// file's copied log lines, a later part's report joined behind, and the old
// report copied behind the new one.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filter/uByteSearch.h"
#include "filter/uByteStreams.h"
#include "filter/uCvsLogText.h"
#include "filter/uEngineEnvironment.h"

/// Writes the report: its header, each picked file as a line of the folder
/// tree, the file's copied log lines and the old report, every line ending
/// in CR LF.
class TReportWriter {
public:
  /// A writer for a later part of the log writes no header; Append joins its
  /// bytes to the report of the parts before it.
  enum TRole { Whole, LaterPart };

  TReportWriter(TByteSink& sink, const TQuilletEnvironment& environment, const std::string& person,
                TRole role = Whole)
      : FSink(sink), FEnvironment(environment), FPerson(person), FBuffer(ChunkSize), FLaterPart(role == LaterPart) {}

  /// The header if none is written yet, then the folder and file lines of
  /// the section that starts with `sectionLine`, below `root`. False when the
  /// section writes nothing (Attic); else the copied lines follow with CopiedLine.
  bool FileLines(std::string_view sectionLine, const TRepositoryRoot& root);

  /// A log line of the file last written, one level below it.
  void CopiedLine(std::string_view line) { Line(FCopyIndent, line); }

  /// A piece of a line too long to hold whole: the indent goes before its
  /// first piece, the line break behind its last.
  void LinePiece(std::size_t indent, std::string_view text, bool first, bool last);
  void CopiedPiece(std::string_view text, bool first, bool last) { LinePiece(FCopyIndent, text, first, last); }

  void Line(std::size_t indent, std::string_view text) {
    static const std::string blanks(64, ' ');
    // The usual line fits the buffer as it is: one check, then plain copies.
    if (indent <= blanks.size() && indent + text.size() + 2 <= FBuffer.size() - FUsed) {
      char* const out = FBuffer.data() + FUsed;
      CopyShort(out, blanks.data(), indent);
      CopyShort(out + indent, text.data(), text.size());
      out[indent + text.size()] = '\r';
      out[indent + text.size() + 1] = '\n';
      FUsed += indent + text.size() + 2;
      return;
    }
    while (indent > 0) {
      const std::size_t n = std::min(indent, blanks.size());
      Put(blanks.data(), n);
      indent -= n;
    }
    Put(text.data(), text.size());
    Put("\r\n", 2);
  }

  /// Bytes that are whole report lines already; large pieces go to the sink
  /// without a copy.
  void Raw(const char* data, std::size_t size);

  /// The report of a later part of the log, written by `part` and read from
  /// `bytes`, behind what this writer wrote, as if this writer had written
  /// it: the header comes first, and the first file's folder lines that
  /// stand above it already are left out. `part` may still be writing: it
  /// must have written a byte or ended before the call, and have ended
  /// before `bytes` ends.
  void Append(const TReportWriter& part, TByteSource& bytes);

  void Flush();

private:
  void Header();

  // How many of `folders`, from the top, are those of the last written file.
  std::size_t SharedFolders(const std::vector<std::string>& folders) const;

  void Put(const char* data, std::size_t size);

  TByteSink& FSink;
  const TQuilletEnvironment& FEnvironment;
  const std::string& FPerson;
  TBuffer FBuffer;
  std::size_t FUsed = 0;
  const bool FLaterPart;
  bool FHeaderWritten = false;
  bool FWantsHeader = false;                 // a file was picked
  std::vector<std::string> FWrittenFolders;  // of the last written file
  std::string FUpperPath, FPath;             // scratch of FileLines
  std::vector<std::string> FFolders;
  std::optional<std::vector<std::string>> FFirstFolders;  // of a later part's first written file
  std::size_t FCopyIndent = 0;
};

/// Copies an old report behind the new one. One written by this program ends
/// every line in CR LF already: such text is copied as it is, in large
/// pieces. At the first other line break the rest goes line by line. With
/// `readAhead`, a thread of its own reads while the pieces before are written.
void CopyPreviousReport(TByteSource& previous, TReportWriter& report, bool readAhead);
