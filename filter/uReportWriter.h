#pragma once
// The report: its header, each picked file as a line of the folder tree, the
// file's copied log lines, a later part's report joined behind, and the old
// report copied behind the new one.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filter/uByteStreams.h"
#include "filter/uCvsLogText.h"
#include "filter/uQuillet.h"

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
  /// the section that starts with `sectionLine`. False when the section
  /// writes nothing (Attic); else the copied lines follow with CopiedLine.
  bool FileLines(std::string_view sectionLine) {
    FWantsHeader = true;
    if (!FLaterPart) Header();
    // Picks are many: the scratch texts keep their room from one to the next.
    const std::string_view archive = archivePath(sectionLine);
    FUpperPath.assign(archive);
    for (char& c : FUpperPath) c = static_cast<char>(up(FEnvironment.UpperCase, c));
    if (FUpperPath.find("ATTIC") != std::string::npos) return false;

    withoutRoot(archive, FPath);
    const std::string_view file = folderParts(FPath, TQuillet::MaxFolderDepth, FFolders);
    // Folders shared with the last written file stand above it already.
    const std::size_t shared = SharedFolders(FFolders);
    for (std::size_t i = shared; i < FFolders.size(); ++i) Line(TreeIndent * i, FFolders[i]);
    std::size_t depth = FFolders.size();
    if (!file.empty()) Line(TreeIndent * depth++, file);
    if (FLaterPart && !FFirstFolders) FFirstFolders = FFolders;
    std::swap(FFolders, FWrittenFolders);
    FCopyIndent = TreeIndent * depth;
    return true;
  }

  /// A log line of the file last written, one level below it.
  void CopiedLine(std::string_view line) { Line(FCopyIndent, line); }

  void Line(std::size_t indent, std::string_view text) {
    // The usual line fits the buffer as it is: one check, then plain copies.
    if (indent + text.size() + 2 <= FBuffer.size() - FUsed) {
      char* const out = FBuffer.data() + FUsed;
      std::memset(out, ' ', indent);
      std::memcpy(out + indent, text.data(), text.size());
      out[indent + text.size()] = '\r';
      out[indent + text.size() + 1] = '\n';
      FUsed += indent + text.size() + 2;
      return;
    }
    static const std::string blanks(64, ' ');
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
  void Raw(const char* data, std::size_t size) {
    if (size < FBuffer.size() / 4) return Put(data, size);
    Flush();
    FSink.Write(data, size);
  }

  /// The report of a later part of the log, written by `part` and read from
  /// `bytes`, behind what this writer wrote, as if this writer had written
  /// it: the header comes first, and the first file's folder lines that
  /// stand above it already are left out.
  void Append(const TReportWriter& part, TByteSource& bytes) {
    if (part.FWantsHeader) Header();
    std::uint64_t skip = 0;
    if (part.FFirstFolders) {
      const std::vector<std::string>& folders = *part.FFirstFolders;
      for (std::size_t i = 0; i < SharedFolders(folders); ++i) skip += TreeIndent * i + folders[i].size() + 2;
      FWrittenFolders = part.FWrittenFolders;
    }
    Flush();
    for (std::size_t n; (n = bytes.Read(FBuffer.data(), FBuffer.size())) > 0;) {
      const std::size_t dropped = static_cast<std::size_t>(std::min<std::uint64_t>(skip, n));
      skip -= dropped;
      if (n > dropped) FSink.Write(FBuffer.data() + dropped, n - dropped);
    }
  }

  void Flush() {
    if (FUsed > 0) FSink.Write(FBuffer.data(), FUsed);
    FUsed = 0;
  }

private:
  void Header() {
    if (FHeaderWritten) return;
    Line(0, FEnvironment.PersonHeader + FPerson);
    Line(0, FEnvironment.DateHeader + FEnvironment.Today);
    Line(0, "");
    FHeaderWritten = true;
  }

  // How many of `folders`, from the top, are those of the last written file.
  std::size_t SharedFolders(const std::vector<std::string>& folders) const {
    std::size_t shared = 0;
    while (shared < folders.size() && shared < FWrittenFolders.size() &&
           sameNoCase(FEnvironment.UpperCase, folders[shared], FWrittenFolders[shared]))
      ++shared;
    return shared;
  }

  void Put(const char* data, std::size_t size) {
    if (size > FBuffer.size() - FUsed) {
      Flush();
      if (size >= FBuffer.size()) {
        FSink.Write(data, size);
        return;
      }
    }
    std::memcpy(FBuffer.data() + FUsed, data, size);
    FUsed += size;
  }

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

/// Whether the engine may start threads of its own (the old report's reader,
/// the later parts' scans). Tests turn it off to run what the engine does
/// where no thread can be had.
void SetEngineThreads(bool allowed);
bool EngineThreads();

/// Copies an old report behind the new one. One written by this program ends
/// every line in CR LF already: such text is copied as it is, in large
/// pieces. At the first other line break the rest goes line by line.
void copyPreviousReport(TByteSource& previous, TReportWriter& report);
