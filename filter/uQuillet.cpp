#include "filter/uQuillet.h"

#include <new>

#include "Bibliothek/Plattform/uOsConsole.h"
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
    for (char& c : label) c = static_cast<char>(Up(FEnvironment.UpperCase, c));
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
void TQuillet::SetParts(std::size_t count) { FParts = count; }
void TQuillet::SetLockWait(unsigned seconds) { FLockWait = seconds; }

void TQuillet::SetAuthor(const std::string& value) {
  // A login never holds a comma or a blank. Each name once: one name left
  // takes the one author's path, with its faster skip scan.
  FAuthor.clear();
  FAuthors.clear();
  std::vector<std::string> names;
  for (std::size_t from = 0; from <= value.size();) {
    const std::size_t comma = std::min(value.find(',', from), value.size());
    std::size_t begin = from, end = comma;
    while (begin < end && (value[begin] == ' ' || value[begin] == '\t')) ++begin;
    while (end > begin && (value[end - 1] == ' ' || value[end - 1] == '\t')) --end;
    from = comma + 1;
    if (begin == end) continue;
    const std::string name = value.substr(begin, end - begin);
    bool known = false;
    for (const std::string& other : names) known = known || SameNoCase(FEnvironment.UpperCase, name, other);
    if (!known) names.push_back(name);
  }
  if (names.size() == 1) FAuthor = names.front();
  if (names.size() < 2) return;
  for (std::string& name : names) {
    for (char& c : name) c = static_cast<char>(Up(FEnvironment.UpperCase, c));
    FAuthors.push_back(std::move(name));
  }
}

void TQuillet::SetSecondDateCondition(TDateOperator op, const std::string& date) {
  FSecondOperator = op;
  FSecondDate = date;
}

namespace {
std::string withoutQuotes(std::string text) {
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  return text;
}
}  // namespace

void TQuillet::SetRoot(const std::string& value) {
  FRoot = withoutQuotes(value);
  FRootSet = !FRoot.empty();
  // "/var/lib/cvs/" is "/var/lib/cvs"; "/" stays a root, with no name.
  while (!FRoot.empty() && (FRoot.back() == '/' || FRoot.back() == '\\')) FRoot.pop_back();
}

void TQuillet::SetInputFile(const std::string& value) { FInputFile = withoutQuotes(value); }
void TQuillet::SetOutputFile(const std::string& value) { FOutputFile = withoutQuotes(value); }

void TQuillet::CheckSettings() const {
  if (FInputFile.empty()) throw EFailure(FEnvironment.InputMissing);
  if (FOutputFile.empty()) throw EFailure(FEnvironment.OutputMissing);
  if (FPerson.empty()) throw EFailure(FEnvironment.PersonMissing);
  if (FDate.empty()) throw EFailure(FEnvironment.DateMissing);
}

namespace {

// The output's side of a run, as one transaction: the lock that makes runs on
// the output wait for each other, the old report, the temporary file the new
// one is written to, and the replacement. Whatever is held is released in
// every outcome; the output changes only in Commit.
class TOutputTransaction {
public:
  TOutputTransaction(TFileSystem& files, const TQuilletEnvironment& texts, const std::string& output)
      : FFiles(files), FTexts(texts), FOutput(output), FReplaced(files.ReplacedPath(output)) {}
  ~TOutputTransaction() {
    if (FOld) FFiles.Close(*FOld);
    if (FTemp) FFiles.Close(*FTemp);
    if (!FTempPath.empty() && !FCommitted) FFiles.Remove(FTempPath);
    if (FLock) FFiles.Unlock(*FLock, FLockPath);
  }
  TOutputTransaction(const TOutputTransaction&) = delete;
  TOutputTransaction& operator=(const TOutputTransaction&) = delete;

  /// The file really replaced (through a followed link).
  const std::string& Path() const { return FReplaced; }

  /// Waits for other runs on the output, at most `waitSeconds` (0: no
  /// limit). The lock is named after the file really replaced, so that runs
  /// through a symbolic link and on its target meet too. What the output's
  /// name leads to is asked before the wait, to name the lock, and again
  /// after it: anyone could have changed it meanwhile, and only what is
  /// found once the lock is held counts. A device or pipe is never replaced
  /// by a report (nor read as one), and a link another user planted is not
  /// followed.
  void Lock(unsigned waitSeconds) {
    if (!FFiles.IsReplaceable(FOutput)) throw Failed(FOutput);
    FLockPath = OsSiblingPath(FReplaced, ".lock");
    bool timedOut = false;
    FLock = FFiles.Lock(FLockPath, waitSeconds, &timedOut);
    if (!FLock && timedOut) throw EFailure(lockTimedOut(waitSeconds));
    if (!FLock) throw Failed(FLockPath);
    if (FFiles.ReplacedPath(FOutput) != FReplaced) throw EFailure(FormatMessage(FTexts.OutputChanged, FOutput));
    // The old report is read through the handle opened now, and its checks
    // are made on that handle: a name can be given to another file at any time.
    bool missing = false;
    FOld = FFiles.OpenReplaced(FReplaced, missing);
    if (!FOld && !missing) {
      // Replaceable before the wait, and now a link not to follow, a pipe or
      // a device: given to another file meanwhile.
      if (!FFiles.IsReplaceable(FOutput)) throw EFailure(FormatMessage(FTexts.OutputChanged, FOutput));
      throw EFailure(FormatMessage(SCannotOpenFile, FOutput));
    }
    FFiles.RemoveStaleTemps(FReplaced);
  }

  /// The old report, as the run before this one left it, into `previous`;
  /// none when there is none.
  void OpenPrevious(std::optional<TFileSource>& previous) {
    if (!FOld) return;
    previous.emplace(FFiles, FOutput);
    previous->Adopt(*FOld);
    FOld.reset();
    previous->ForgetWhatIsRead();
  }

  /// Where the new report goes: a file with the old report's permissions
  /// and, where allowed, its owner; a new output gets the umask's.
  TFileSink& CreateTemp(const std::optional<TFileSource>& previous) {
    FTemp = FFiles.CreateTempBeside(FReplaced, FTempPath,
                                    previous ? std::optional<TOsFile>(previous->Handle()) : std::nullopt);
    if (!FTemp) throw Failed(FOutput);
    return FSink.emplace(FFiles, *FTemp, FOutput);
  }
  /// The new report reaches the disk before it replaces the old one, and the
  /// folder's entry after, so that a power cut leaves one of the two whole.
  /// Only the file this run wrote replaces the output: in a folder others can
  /// write, its name may have been given to another file meanwhile.
  void Commit() {
    if (!FFiles.Flush(*FTemp)) throw Failed(FOutput);
    if (!FFiles.IsSameFile(*FTemp, FTempPath)) throw Failed(FTempPath);
    if (!FFiles.Replace(FTempPath, FReplaced)) throw Failed(FOutput);
    FCommitted = true;
    FFiles.Close(*FTemp);
    FTemp.reset();
    // Only durability is at stake now: the report is in place, and a failure
    // reported here would make a retrying script add it a second time.
    FFiles.FlushFolderOf(FReplaced);
  }

private:
  EFailure lockTimedOut(unsigned seconds) const {
    const std::string holder = FFiles.LockHolder(FLockPath);
    const std::string waited = std::to_string(seconds);
    return EFailure(holder.empty() ? FormatMessage(FTexts.LockStillHeld, {FLockPath, waited})
                                   : FormatMessage(FTexts.LockStillHeldBy, {FLockPath, holder, waited}));
  }
  // Scripts match the line on standard output as it is; the system's reason
  // for it, about `what`, goes to standard error.
  EFailure Failed(const std::string& what) const {
    FFiles.TellFailure(what);
    return EFailure(FormatMessage(SCannotCreateFile, FOutput));
  }

  TFileSystem& FFiles;
  const TQuilletEnvironment& FTexts;
  const std::string FOutput, FReplaced;
  std::string FLockPath, FTempPath;
  std::optional<TOsFile> FLock, FTemp, FOld;
  std::optional<TFileSink> FSink;
  bool FCommitted = false;
};

// Names standard input or output in place of a file.
const std::string StandardStream = "-";

// The log into `input`; "-": standard input, read once from where it stands.
void openInput(std::optional<TFileSource>& input, TFileSystem& files, const std::string& path) {
  input.emplace(files, path);
  if (path == StandardStream)
    input->Borrow(OsStandardInput());
  else if (!input->Open())
    throw EFailure(FormatMessage(SCannotOpenFile, path));
}
}  // namespace

void TQuillet::Run() {
  CheckSettings();
  // The log first, so that a missing one is told before anything else.
  std::optional<TFileSource> input, previous;
  openInput(input, FFiles, FInputFile);
  if (FOutputFile == StandardStream) return ReportToStandardOutput(*input);
  TOutputTransaction output(FFiles, FEnvironment, FOutputFile);
  output.Lock(FLockWait);
  // A log that is the output itself is read as the run before this one left it.
  if (FFiles.ReplacedPath(FInputFile) == output.Path()) openInput(input, FFiles, FInputFile);
  output.OpenPrevious(previous);
  TFileSink& report = output.CreateTemp(previous);
  TFileLog log(FFiles, *input, output.Path(), FOutputFile);
  try {
    ProcessLog(log, report, previous ? &*previous : nullptr, FParts, true);
    report.Finish();
  } catch (const std::bad_alloc&) {
    // One line is held whole; a gigantic one must fail the run, not end the process.
    throw EFailure(SOutOfMemory);
  }
  input.reset();
  previous.reset();
  output.Commit();
}

// The report alone, for a pipe: no old report behind it, and so no lock and
// no temporary file; one part, as later parts wait in files beside the output.
void TQuillet::ReportToStandardOutput(TFileSource& input) {
  TFileSink report(FFiles, OsStandardOutput(), FOutputFile, TFileSink::InTurn);
  TFileLog log(FFiles, input, FOutputFile, FOutputFile);
  try {
    ProcessLog(log, report, nullptr, 1, true);
    report.Finish();
  } catch (const std::bad_alloc&) {
    throw EFailure(SOutOfMemory);
  }
}

std::string TQuillet::RunOnText(const std::string& input, const std::optional<std::string>& previousOutput,
                                std::size_t pieceSize) {
  TTextLog log(input, pieceSize);
  std::optional<TTextSource> previous;
  if (previousOutput) previous.emplace(*previousOutput, pieceSize);
  TTextSink sink;
  ProcessLog(log, sink, previous ? &*previous : nullptr, FParts, false);
  return sink.FText;
}

void TQuillet::ProcessLog(TLogParts& log, TByteSink& sink, TByteSource* previousOutput, std::size_t parts,
                          bool mustHoldLog) {
  // Outside a section the scan looks for the label at a line's start; inside
  // one for the author's label with the name behind it (one character after
  // the colon; each of several authors' names) and for the end row.
  const TScanRules rules{
      .Upper = FEnvironment.UpperCase,
      .Operator = FDateOperator,
      .Date = FDate,
      .Author = FAuthor,
      .Authors = FAuthors,
      .SecondOperator = FSecondOperator,
      .SecondDate = FSecondDate,
      .DateLabel = FDateLabel,
      .AuthorLabel = FAuthorLabel,
      .SectionLabel = FSectionLabel,
      .Root = {FRoot, FRootSet, FEnvironment.RootIgnoresCase ? &FEnvironment.UpperCase : nullptr},
      .ClosedTargets = TargetsFor(FEnvironment.UpperCase, FSectionLabel, 1, false),
      .OpenTargets = !FAuthors.empty()
                         ? TargetsForAuthors(FEnvironment.UpperCase, FAuthorLabel, FAuthors)
                         : TargetsFor(FEnvironment.UpperCase, FAuthor.empty() ? FAuthorLabel : FAuthorLabel + " " + FAuthor,
                                      FAuthorLabel.size() - 1, true)};
  TReportWriter report(sink, FEnvironment, FPerson);
  const TScanOutcome outcome = ScanLog(log, parts, rules, report, FEnvironment, FPerson);
  const std::string& inputName = FInputFile == StandardStream ? FEnvironment.StandardInputName : FInputFile;
  // Nothing is written yet when nothing was picked: an input that is no log
  // at all (an empty file, a failed cvs's message) fails before the output changes.
  if (mustHoldLog && !outcome.SawSection) throw EFailure(FormatMessage(FEnvironment.NoCvsLog, inputName));
  // A cvs that died part-way (a pipe's end, a full disk) leaves a section
  // open: its report lacks files, and it never replaces the output.
  if (mustHoldLog && outcome.EndsInSection) throw EFailure(FormatMessage(FEnvironment.LogCutShort, inputName));

  // Merge: one empty line, then the old report, its lines cut like the input's.
  report.Line(0, "");
  if (previousOutput) CopyPreviousReport(*previousOutput, report, EngineThreads());
  report.Flush();
}
