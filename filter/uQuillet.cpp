#include "filter/uQuillet.h"

#include <new>

#include "Bibliothek/Plattform/uOsFiles.h"
#include "Bibliothek/uFailure.h"
#include "filter/uByteStreams.h"
#include "filter/uCvsLogText.h"
#include "filter/uLogParts.h"
#include "filter/uLogScan.h"
#include "filter/uReportWriter.h"

TQuillet::TQuillet(TQuilletEnvironment environment, TFileSystem& files)
    : FEnvironment(std::move(environment)), FFiles(files) {
  auto upper = [this](std::string label) {
    for (char& c : label) c = static_cast<char>(up(FEnvironment.UpperCase, c));
    return label;
  };
  FDateLabel = upper(FEnvironment.DateLabel + ":");
  FAuthorLabel = upper(FEnvironment.AuthorLabel + ":");
  FSectionLabel = upper(SectionLabel);
}

TQuillet::~TQuillet() = default;

void TQuillet::SetDateOperator(TDateOperator value) { FDateOperator = value; }
void TQuillet::SetDate(const std::string& value) { FDate = value; }
void TQuillet::SetPerson(const std::string& value) { FPerson = value; }
void TQuillet::SetAuthor(const std::string& value) { FAuthor = value; }
void TQuillet::SetParts(std::size_t count) { FParts = count; }

namespace {
std::string withoutQuotes(std::string text) {
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  return text;
}
}  // namespace

void TQuillet::SetInputFile(const std::string& value) { FInputFile = withoutQuotes(value); }
void TQuillet::SetOutputFile(const std::string& value) { FOutputFile = withoutQuotes(value); }

void TQuillet::CheckSettings() const {
  if (FInputFile.empty()) throw EFailure(FEnvironment.InputMissing);
  if (FOutputFile.empty()) throw EFailure(FEnvironment.OutputMissing);
  if (FPerson.empty()) throw EFailure(FEnvironment.PersonMissing);
  if (FDate.empty()) throw EFailure(FEnvironment.DateMissing);
}

namespace {
// Releases what Run holds, in every outcome.
struct TRunResources {
  explicit TRunResources(TFileSystem& files) : Files(files) {}
  ~TRunResources() {
    if (Temp) Files.Close(*Temp);
    if (!TempPath.empty() && !Replaced) Files.Remove(TempPath);
    if (Lock) Files.Unlock(*Lock, LockPath);
  }
  TFileSystem& Files;
  std::optional<TOsFile> Lock, Temp;
  std::string LockPath, TempPath;
  bool Replaced = false;
};

}  // namespace

void TQuillet::Run() {
  CheckSettings();

  std::optional<TFileSource> input(std::in_place, FFiles, FInputFile);
  if (!input->Open()) throw EFailure(FormatMessage(SCannotOpenFile, FInputFile));

  TRunResources held(FFiles);
  // Scripts match the line on standard output as it is; the system's reason
  // for it goes to standard error.
  auto failedToCreate = [&](const std::string& why) {
    OsWriteFileFailure(why);
    return EFailure(FormatMessage(SCannotCreateFile, FOutputFile));
  };
  // A device or pipe is never replaced by a report (nor read as one), and a
  // link another user planted is not written through.
  const std::string output = FFiles.ReplacedPath(FOutputFile);
  if (!FFiles.IsReplaceable(output)) throw failedToCreate(FOutputFile);
  // Runs on the same output wait here for each other, so each one merges the
  // report of the one before it. The lock is named after the file really
  // replaced, so that runs through a symbolic link and on its target meet too.
  held.LockPath = OsSiblingPath(output, ".lock");
  held.Lock = FFiles.Lock(held.LockPath);
  if (!held.Lock) throw failedToCreate(held.LockPath);
  // A log that is the output itself is read as the run before this one left it.
  if (FFiles.ReplacedPath(FInputFile) == output) {
    input.emplace(FFiles, FInputFile);
    if (!input->Open()) throw EFailure(FormatMessage(SCannotOpenFile, FInputFile));
  }
  FFiles.RemoveStaleTemps(output);

  // An old report that exists but cannot be read must not be lost.
  TFileSource previous(FFiles, FOutputFile);
  const bool hasPrevious = previous.Open();
  if (!hasPrevious && FFiles.FileExists(FOutputFile))
    throw EFailure(FormatMessage(SCannotOpenFile, FOutputFile));
  previous.ForgetWhatIsRead();

  held.Temp = FFiles.CreateTempBeside(output, held.TempPath);
  if (!held.Temp) throw failedToCreate(FOutputFile);
  TFileSink sink(FFiles, *held.Temp, FOutputFile);
  TFileLog log(FFiles, *input, output, FOutputFile);
  try {
    ProcessLog(log, sink, hasPrevious ? &previous : nullptr);
    sink.Finish();
  } catch (const std::bad_alloc&) {
    // One line is held whole; a gigantic one must fail the run, not end the process.
    throw EFailure(SOutOfMemory);
  }
  input.reset();
  previous.Close();

  // The new report reaches the disk before it replaces the old one, and the
  // folder's entry after, so that a power cut leaves one of the two whole.
  // Only the file this run wrote replaces the output: in a folder others can
  // write, its name may have been given to another file meanwhile.
  if (!FFiles.Flush(*held.Temp)) throw failedToCreate(FOutputFile);
  if (!FFiles.IsSameFile(*held.Temp, held.TempPath)) throw failedToCreate(held.TempPath);
  if (!FFiles.Replace(held.TempPath, output)) throw failedToCreate(FOutputFile);
  held.Replaced = true;
  FFiles.Close(*held.Temp);
  held.Temp.reset();
  // Only durability is at stake now: the report is in place, and a failure
  // reported here would make a retrying script add it a second time.
  FFiles.FlushFolderOf(output);
}

std::string TQuillet::RunOnText(const std::string& input, const std::optional<std::string>& previousOutput,
                                std::size_t pieceSize) {
  TTextLog log(input, pieceSize);
  std::optional<TTextSource> previous;
  if (previousOutput) previous.emplace(*previousOutput, pieceSize);
  TTextSink sink;
  ProcessLog(log, sink, previous ? &*previous : nullptr);
  return sink.FText;
}

void TQuillet::ProcessLog(TLogParts& log, TByteSink& sink, TByteSource* previousOutput) {
  const TScanRules rules{FEnvironment.UpperCase,
                         FDateOperator,
                         FDate,
                         FAuthor,
                         FDateLabel,
                         FAuthorLabel,
                         FSectionLabel,
                         // Outside a section the scan looks for the label at a line's
                         // start; inside one for the author's label with the name behind
                         // it (one character after the colon) and for the end row.
                         targetsFor(FEnvironment.UpperCase, FSectionLabel, 1, false),
                         targetsFor(FEnvironment.UpperCase,
                                    FAuthor.empty() ? FAuthorLabel : FAuthorLabel + " " + FAuthor,
                                    FAuthorLabel.size() - 1, true)};
  TReportWriter report(sink, FEnvironment, FPerson);
  ScanLog(log, FParts, rules, report, FEnvironment, FPerson);

  // Merge: one empty line, then the old report, its lines cut like the input's.
  report.Line(0, "");
  if (previousOutput) copyPreviousReport(*previousOutput, report);
  report.Flush();
}
