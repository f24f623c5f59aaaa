#pragma once
// The end-to-end harness: the real program runs as a process, with its own registry,
// INI file and command line, in a fresh working folder per test; the console
// line, the exit code and the output file are checked byte for byte.
//
// The same cases run against the native program and, under wine, against
// Quillet.exe:
//   QUILLET_E2E_PROGRAM  the program to run (default: the native build's)
//   QUILLET_E2E_WINE     empty natively; else the wine wrapper that runs it
// Natively the registry is a file named by HKCU_FILE; under wine it is the
// prefix's registry, set up per case with one `reg import`.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test/uWorkedExample.h"

namespace fs = std::filesystem;

namespace e2e {

// ---------------------------------------------------------------------------
// Dates

struct TDate {
  int Year = 0, Month = 0, Day = 0;
  bool operator==(const TDate&) const = default;
};

/// Today's local date moved by `days`, computed at noon so that a change of
/// daylight saving time cannot move it by a day.
inline TDate LocalDate(int days = 0) {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  tm.tm_hour = 12;
  tm.tm_min = tm.tm_sec = 0;
  tm.tm_mday += days;
  tm.tm_isdst = -1;
  std::mktime(&tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

inline std::string TwoDigits(int n) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", n % 100);
  return buffer;
}

/// A date written in a Windows short date picture (d, dd, M, MM, yy, yyyy).
inline std::string FormatDate(const TDate& date, const std::string& picture) {
  std::string out;
  for (std::size_t i = 0; i < picture.size();) {
    const char c = picture[i];
    std::size_t n = 1;
    while (i + n < picture.size() && picture[i + n] == c) ++n;
    if (c == 'd')
      out += n >= 2 ? TwoDigits(date.Day) : std::to_string(date.Day);
    else if (c == 'M')
      out += n >= 2 ? TwoDigits(date.Month) : std::to_string(date.Month);
    else if (c == 'y')
      out += n >= 4 ? std::to_string(date.Year) : TwoDigits(date.Year);
    else
      out.append(n, c);
    i += n;
  }
  return out;
}

/// The date separator of a picture: its first character that is no letter.
inline std::string DateSeparator(const std::string& picture) {
  for (char c : picture)
    if (!std::isalpha(static_cast<unsigned char>(c))) return std::string(1, c);
  return ".";
}

// ---------------------------------------------------------------------------
// Files

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// Lines, each followed by CR LF, as every file the program writes has them.
inline std::string CrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += line + "\r\n";
  return out;
}

inline std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
    lines.push_back(text.substr(start, p - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

inline std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size()) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// Processes

struct TRunResult {
  int ExitCode = -1;
  std::string Out, Err;
};

struct TChild {
  pid_t Pid = -1;
  int OutFd = -1, ErrFd = -1;
  std::chrono::steady_clock::time_point Started;
};

/// Starts `argv` in its own process group with `cwd` as working folder, stdin
/// from `input` (by default /dev/null, so a wine program has no console, as
/// under a scheduler), stdout and stderr to pipes, and `env` set on top of ours.
inline TChild StartProcess(const std::vector<std::string>& argv, const fs::path& cwd,
                    const std::map<std::string, std::string>& env, const std::string& input = "/dev/null") {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return {};
  TChild child;
  child.Started = std::chrono::steady_clock::now();
  child.Pid = fork();
  if (child.Pid == 0) {
    setpgid(0, 0);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    const int nul = open(input.c_str(), O_RDONLY);
    dup2(nul, 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {nul, out[0], out[1], err[0], err[1]}) close(fd);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  child.OutFd = out[0];
  child.ErrFd = err[0];
  return child;
}

/// Collects the child's output until both pipes close and waits for it. A run
/// that takes longer than `timeoutSeconds` is killed (its process group only).
inline TRunResult FinishProcess(TChild& child, int timeoutSeconds = 120) {
  TRunResult result;
  if (child.Pid <= 0) return result;
  using clock = std::chrono::steady_clock;
  bool exited = false;
  int status = 0;
  clock::time_point exitedAt;
  std::string* sinks[2] = {&result.Out, &result.Err};
  int fds[2] = {child.OutFd, child.ErrFd};
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd p[2];
    nfds_t n = 0;
    int which[2];
    for (int i = 0; i < 2; ++i)
      if (fds[i] >= 0) {
        p[n] = {fds[i], POLLIN, 0};
        which[n++] = i;
      }
    poll(p, n, 100);
    for (nfds_t k = 0; k < n; ++k) {
      if (!(p[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t got = read(fds[which[k]], buffer, sizeof buffer);
      if (got > 0) {
        sinks[which[k]]->append(buffer, static_cast<std::size_t>(got));
      } else {
        close(fds[which[k]]);
        fds[which[k]] = -1;
      }
    }
    if (!exited && waitpid(child.Pid, &status, WNOHANG) == child.Pid) {
      exited = true;
      exitedAt = clock::now();
    }
    // Something the child left behind may hold the pipes open: stop listening
    // shortly after the child itself has gone.
    if (exited && clock::now() - exitedAt > std::chrono::seconds(2)) break;
    if (!exited && clock::now() - child.Started > std::chrono::seconds(timeoutSeconds)) {
      kill(-child.Pid, SIGKILL);
      ADD_FAILURE() << "the program ran longer than " << timeoutSeconds << " s and was killed";
    }
  }
  for (int fd : fds)
    if (fd >= 0) close(fd);
  if (!exited) waitpid(child.Pid, &status, 0);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  child.Pid = -1;
  return result;
}

// ---------------------------------------------------------------------------
// The program under test

struct TTimings {
  int ProgramRuns = 0, RegistryImports = 0;
  double ProgramSeconds = 0, RegistrySeconds = 0;
};

class TProgramUnderTest {
public:
  TProgramUnderTest() {
    const char* program = std::getenv("QUILLET_E2E_PROGRAM");
    const char* wine = std::getenv("QUILLET_E2E_WINE");
    FProgram = program && *program ? program : QUILLET_NATIVE_PROGRAM;
    FWine = wine ? wine : "";
  }
  bool IsWine() const { return !FWine.empty(); }
  const std::string& Program() const { return FProgram; }

  /// The command that runs the program with `args`.
  std::vector<std::string> Command(const std::vector<std::string>& args) const {
    std::vector<std::string> argv;
    if (IsWine()) argv.push_back(FWine);
    argv.push_back(FProgram);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  /// Runs a wine tool (reg ...) in the prefix the program runs in.
  TRunResult RunWineTool(const std::vector<std::string>& args, const fs::path& cwd) {
    std::vector<std::string> argv{FWine};
    argv.insert(argv.end(), args.begin(), args.end());
    const auto start = std::chrono::steady_clock::now();
    TChild child = StartProcess(argv, cwd, {});
    TRunResult result = FinishProcess(child);
    Timings.RegistryImports++;
    Timings.RegistrySeconds += Seconds(start);
    return result;
  }

  /// Puts `regText` (a .reg file that begins by deleting the program's keys)
  /// into the prefix's registry, unless it is in force already.
  void ApplyWineRegistry(const std::string& regText, const fs::path& dir) {
    if (regText == FAppliedRegistry) return;
    WriteFile(dir / "hkcu.reg", regText);
    const TRunResult r = RunWineTool({"reg", "import", "hkcu.reg"}, dir);
    ASSERT_EQ(r.ExitCode, 0) << "wine reg import failed: " << r.Out << r.Err;
    FAppliedRegistry = regText;
  }
  void ForgetWineRegistry() { FAppliedRegistry.clear(); }

  static double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
  }

  TTimings Timings;

private:
  std::string FProgram, FWine, FAppliedRegistry;
};

inline TProgramUnderTest& Program() {
  static TProgramUnderTest program;
  return program;
}

inline const char* const InternationalKey = "HKEY_CURRENT_USER\\Control Panel\\International";
inline const char* const ProgramKey = "HKEY_CURRENT_USER\\Software\\ORVEK";
// Registry names are found without regard to case, so this key serves the
// native title "quillet" and the Windows title "Quillet" alike.
inline const char* const ProgramTitleKey = "HKEY_CURRENT_USER\\Software\\ORVEK\\Quillet";

inline std::string RegString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

/// UTF-8 text as a UTF-16LE file with its byte-order mark, as regedit saves it.
inline std::string Utf16File(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : 3;  // no text beyond U+FFFF here
    unsigned code = length == 1 ? lead : lead & (length == 2 ? 0x1F : 0x0F);
    for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out += static_cast<char>(code & 0xFF);
    out += static_cast<char>(code >> 8);
    i += length;
  }
  return out;
}

/// Under wine the tests change the prefix's short date format and the
/// program's keys; afterwards the prefix gets back what it had.
class TWineRegistryRestore : public ::testing::Environment {
public:
  void SetUp() override {
    std::printf("[ e2e      ] program: %s%s\n", Program().Program().c_str(),
                Program().IsWine() ? " (under wine)" : " (native)");
    if (!Program().IsWine()) return;
    FDir = fs::temp_directory_path() / ("quillet-e2e-wine-" + std::to_string(getpid()));
    fs::create_directories(FDir);
    const TRunResult r = Program().RunWineTool({"reg", "query", "HKCU\\Control Panel\\International"}, FDir);
    for (const char* name : {"sShortDate", "sDate"}) FOld[name] = ParseRegQuery(r.Out, name);
  }
  void TearDown() override {
    const TTimings& t = Program().Timings;
    std::printf("[ e2e      ] %d program runs, %.2f s in all (%.3f s each)", t.ProgramRuns, t.ProgramSeconds,
                t.ProgramRuns ? t.ProgramSeconds / t.ProgramRuns : 0.0);
    if (Program().IsWine())
      std::printf("; %d wine reg runs, %.2f s", t.RegistryImports, t.RegistrySeconds);
    std::printf("\n");
    if (!Program().IsWine()) return;
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[-" + std::string(ProgramKey) + "]\r\n\r\n[" +
                       InternationalKey + "]\r\n";
    for (const auto& [name, value] : FOld)
      text += "\"" + name + "\"=" + (value.empty() ? std::string("-") : RegString(value)) + "\r\n";
    Program().ForgetWineRegistry();
    Program().ApplyWineRegistry(text, FDir);
    fs::remove_all(FDir);
  }

private:
  // "    sShortDate    REG_SZ    M/d/yyyy" -> "M/d/yyyy"; empty when absent.
  static std::string ParseRegQuery(const std::string& out, const std::string& name) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto p = line.find("REG_SZ");
      if (p == std::string::npos || line.find_first_not_of(' ') != line.find(name + " ")) continue;
      const auto v = line.find_first_not_of(' ', p + 6);
      return v == std::string::npos ? "" : line.substr(v);
    }
    return "";
  }
  fs::path FDir;
  std::map<std::string, std::string> FOld;
};


// ---------------------------------------------------------------------------
// cvs log text

struct TRevision {
  std::string Number, Date, Author, Message;  // Date: "2026/12/07" or "2026-12-07"
};

struct TArchiveFile {
  std::string Path;  // below the repository root, e.g. "proj/src/main.c"
  std::vector<TRevision> Revisions;  // newest first
};

inline std::string RevisionDateLine(const TRevision& r) {
  // rlog prints slashes; cvs 1.12 prints dashes and a zone.
  const bool dashes = r.Date.find('-') != std::string::npos;
  return "date: " + r.Date + (dashes ? " 10:11:12 +0000" : " 10:11:12") + ";  author: " + r.Author +
         ";  state: Exp;  lines: +1 -0";
}

/// One archive file's section as `cvs log` prints it.
inline std::string CvsLogSection(const TArchiveFile& f) {
  std::string s = "\nRCS file: /cvsroot/" + f.Path + ",v\nWorking file: " + f.Path + "\nhead: " +
                  f.Revisions.front().Number + "\nbranch:\nlocks: strict\naccess list:\nsymbolic names:\n"
                  "keyword substitution: kv\ntotal revisions: " + std::to_string(f.Revisions.size()) +
                  ";\tselected revisions: " + std::to_string(f.Revisions.size()) + "\ndescription:\n";
  for (const auto& r : f.Revisions)
    s += "----------------------------\nrevision " + r.Number + "\n" + RevisionDateLine(r) + "\n" + r.Message + "\n";
  return s + "=============================================================================\n";
}

inline std::string CvsLog(const std::vector<TArchiveFile>& files) {
  std::string s;
  for (const auto& f : files) s += CvsLogSection(f);
  return s;
}

/// The report lines of a file picked at revision `picked` (index into its
/// revisions), with its directory lines from `fromDepth` on.
inline std::vector<std::string> ReportLines(const TArchiveFile& f, std::size_t picked, std::size_t fromDepth = 0) {
  std::vector<std::string> lines;
  std::string rest = f.Path, indent;
  for (std::size_t depth = 0, p; (p = rest.find('/')) != std::string::npos; ++depth) {
    if (depth >= fromDepth) lines.push_back(indent + rest.substr(0, p + 1));
    rest.erase(0, p + 1);
    indent += "    ";
  }
  lines.push_back(indent + rest);
  indent += "    ";
  lines.push_back(indent + f.Revisions[picked].Message);
  for (std::size_t i = picked + 1; i < f.Revisions.size(); ++i) {
    const auto& r = f.Revisions[i];
    for (const auto& l : {std::string("----------------------------"), "revision " + r.Number,
                          RevisionDateLine(r), r.Message})
      lines.push_back(indent + l);
  }
  return lines;
}

inline std::string IsoDate(const TDate& d) { return FormatDate(d, "yyyy-MM-dd"); }
inline std::string RlogDate(const TDate& d) { return FormatDate(d, "yyyy/MM/dd"); }

// The sample log (the worked example's).
inline const char* const SampleLog = WorkedExampleLog;

inline const std::vector<std::string> SampleReportBody = {
    "proj/",
    "    src/",
    "        main.c",
    "            Fixed the parser.",
    "            ----------------------------",
    "            revision 1.2",
    "            date: 2003/05/02 09:00:00;  author: dev2;  state: Exp;  lines: +5 -0",
    "            Added options.",
    "        util.c",
    "            Initial revision",
};

// ---------------------------------------------------------------------------
// The fixture: a working folder, a registry and a way to run the program

class QuilletEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quillet-e2e-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    FDir = pattern;
    fs::create_directories(FDir / "out");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(FDir, ignored);
  }

  bool Wine() const { return Program().IsWine(); }

  /// A file of the working folder; `name` may use "\" like the switch values.
  fs::path At(std::string name) const {
    std::replace(name.begin(), name.end(), '\\', '/');
    return FDir / name;
  }
  void Write(const std::string& name, const std::string& bytes) { WriteFile(At(name), bytes); }
  std::string Read(const std::string& name) const { return ReadFile(At(name)); }
  bool Exists(const std::string& name) const { return fs::exists(At(name)); }

  // The user's registry for the next run.
  void SetShortDate(const std::string& picture) { FShortDate = picture; }
  void SetRegistry(const std::string& section, const std::string& name, const std::string& value) {
    FRegistry[section] += RegString(name) + "=" + RegString(value) + "\r\n";
  }
  void SetRegistryRaw(const std::string& section, const std::string& line) { FRegistry[section] += line + "\r\n"; }

  /// An INI file that the run finds through /INIPATH and /INIFILE.
  void SetIni(const std::vector<std::string>& lines) { Write("conf\\e2e.ini", CrLf(lines)); }

  std::string RegistryText() const {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    if (Wine()) text += "[-" + std::string(ProgramKey) + "]\r\n\r\n";
    text += "[" + std::string(InternationalKey) + "]\r\n\"sShortDate\"=" + RegString(FShortDate) +
            "\r\n\"sDate\"=" + RegString(DateSeparator(FShortDate)) + "\r\n";
    for (const auto& [section, values] : FRegistry)
      text += "\r\n[" + std::string(ProgramTitleKey) + "\\" + section + "]\r\n" + values;
    return text;
  }

  /// Puts the registry in place for the next runs.
  void PrepareRegistry() {
    if (Wine())
      Program().ApplyWineRegistry(RegistryText(), FDir);
    else
      WriteFile(FDir / "hkcu.reg", FRegistryUtf16 ? Utf16File(RegistryText()) : RegistryText());
  }
  /// The INI switches always point into the working folder, so that an INI
  /// file beside the program never takes part.
  static std::vector<std::string> WithIniSwitches(std::vector<std::string> args) {
    args.push_back("/INIPATH=conf");
    args.push_back("/INIFILE=e2e.ini");
    return args;
  }
  std::map<std::string, std::string> Environment() const {
    if (Wine()) return {};
    auto env = FExtraEnvironment;
    env["HKCU_FILE"] = (FDir / "hkcu.reg").string();
    return env;
  }

  TRunResult Run(const std::vector<std::string>& args) {
    PrepareRegistry();
    const auto argv = Program().Command(WithIniSwitches(args));
    FDays.insert(DayKey(LocalDate()));
    const auto start = std::chrono::steady_clock::now();
    TChild child = StartProcess(argv, FDir, Environment(), FStdin.empty() ? "/dev/null" : At(FStdin).string());
    TRunResult r = FinishProcess(child);
    Program().Timings.ProgramRuns++;
    Program().Timings.ProgramSeconds += TProgramUnderTest::Seconds(start);
    FDays.insert(DayKey(LocalDate()));
    return r;
  }

  /// Quillet.exe started from a batch file, the only way to hand it a command
  /// line under wine exactly as a user types it in cmd (wine quotes arguments itself).
  TRunResult RunTyped() {
    PrepareRegistry();
    FDays.insert(DayKey(LocalDate()));
    TChild child = StartProcess({Program().Command({})[0], "cmd", "/c", "typed.bat"}, FDir, Environment());
    TRunResult r = FinishProcess(child);
    FDays.insert(DayKey(LocalDate()));
    return r;
  }
  void WriteTyped(const std::string& typed) {
    std::string exe = "Z:" + Program().Program();
    std::replace(exe.begin(), exe.end(), '/', '\\');
    Write("typed.bat", "@\"" + exe + "\" " + typed + " /INIPATH=conf /INIFILE=e2e.ini\r\n@exit %ERRORLEVEL%\r\n");
  }
  /// Starts several runs at once and waits for them all.
  std::vector<TRunResult> RunConcurrently(const std::vector<std::vector<std::string>>& runs) {
    std::vector<TChild> children;
    FDays.insert(DayKey(LocalDate()));
    PrepareRegistry();
    for (const auto& args : runs)
      children.push_back(StartProcess(Program().Command(WithIniSwitches(args)), FDir, Environment()));
    std::vector<TRunResult> results;
    for (auto& child : children) results.push_back(FinishProcess(child));
    FDays.insert(DayKey(LocalDate()));
    return results;
  }

  /// The header lines of a report made by `person` on the day of a run.
  std::string Header(const std::string& person, const TDate& day) const {
    return CrLf({"User: " + person, "Datum: " + FormatDate(day, FShortDate), ""});
  }

  /// `actual` equals `expected(day)` for the day of one of the runs (a test
  /// that runs across midnight sees two days).
  template <class F>
  void ExpectForRunDay(const std::string& actual, F expected) const {
    for (int key : FDays)
      if (actual == expected(FromKey(key))) return;
    const std::string want = expected(FromKey(*FDays.begin()));
    if (actual.size() + want.size() < (64u << 10)) {
      EXPECT_EQ(actual, want);
      return;
    }
    // Large texts: where they part, not a line diff that takes minutes.
    const std::size_t at = static_cast<std::size_t>(
        std::mismatch(actual.begin(), actual.begin() + std::min(actual.size(), want.size()), want.begin()).first -
        actual.begin());
    ADD_FAILURE() << "from byte " << at << " of " << actual.size() << " (expected " << want.size() << "): \""
                  << actual.substr(at, 160) << "\" instead of \"" << want.substr(at, 160) << "\"";
  }

  /// True when the runs saw another day than the one the test's log was made for.
  bool DayChanged() const { return FDays.size() > 1 || *FDays.begin() != DayKey(FMadeOn); }

  /// A successful run: nothing printed, exit code 0.
  void ExpectSuccess(const TRunResult& r) const {
    EXPECT_EQ(r.ExitCode, 0) << "stdout: " << r.Out;
    EXPECT_EQ(r.Out, "");
    ExpectQuietStderr(r);
  }
  /// A failed run: exactly the message and the platform's line end on stdout,
  /// exit code 1, and on stderr the lines `err` (none by default).
  void ExpectFailure(const TRunResult& r, const std::string& message,
                     const std::vector<std::string>& err = {}) const {
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_EQ(r.Out, message + ConsoleLineEnd());
    // A file that cannot be written gets the system's reason as one line on stderr.
    if (message.ends_with(" kann nicht erstellt werden") && !Wine()) {
      EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1 + static_cast<long>(err.size())) << r.Err;
      for (const auto& line : err) EXPECT_NE(r.Err.find(line + ConsoleLineEnd()), std::string::npos) << r.Err;
    } else {
      ExpectStderr(r, err);
    }
  }
  /// Exactly the lines `err` on stderr, each with the console's line end (under
  /// wine at least them: wine may talk there itself).
  void ExpectStderr(const TRunResult& r, const std::vector<std::string>& err) const {
    std::string all;
    for (const auto& line : err) {
      all += line + ConsoleLineEnd();
      if (Wine()) {
        EXPECT_NE(r.Err.find(line + ConsoleLineEnd()), std::string::npos) << r.Err;
      }
    }
    if (!Wine()) {
      EXPECT_EQ(r.Err, all);
    }
  }
  /// A warning line: the program's name, ": " and the text.
  std::string Warning(const std::string& text) const { return ProgramName() + ": " + text; }
  std::string TryHelp() const { return "Try \"" + ProgramName() + " --help\" for the list of switches."; }
  std::string ProgramName() const { return Wine() ? "Quillet" : "quillet"; }
  /// A path as a message shows it: "\\" in `path` becomes "/" on POSIX.
  std::string Shown(std::string path) const {
    if (!Wine()) std::replace(path.begin(), path.end(), '\\', '/');
    return path;
  }
  /// Wine may talk on stderr itself; the native program never does.
  void ExpectQuietStderr(const TRunResult& r) const {
    if (!Wine()) {
      EXPECT_EQ(r.Err, "");
    }
  }

  /// Console lines end with CR LF on Windows, with LF on POSIX.
  std::string ConsoleLineEnd() const { return Wine() ? "\r\n" : "\n"; }

  /// The o-umlaut of the German messages as it reaches a pipe: UTF-8 natively,
  /// the ANSI code page byte under wine.
  std::string OUmlaut() const { return Wine() ? "\xF6" : "\xC3\xB6"; }

  fs::path FDir;
  TDate FMadeOn = LocalDate();  // the day the test builds its dated logs for
  std::string FShortDate = "dd.MM.yyyy";
  std::map<std::string, std::string> FRegistry;  // section -> .reg value lines
  std::map<std::string, std::string> FExtraEnvironment;  // for the native program
  bool FRegistryUtf16 = false;                           // the native registry file in UTF-16
  std::string FStdin;  // a file of the working folder that the runs read as standard input

private:
  static int DayKey(const TDate& d) { return d.Year * 10000 + d.Month * 100 + d.Day; }
  static TDate FromKey(int k) { return {k / 10000, k / 100 % 100, k % 100}; }
  std::set<int> FDays;
};

inline const std::string SampleArguments[] = {"/AUTHOR=dev1", "/PERSON=tester", "/INPUT=in\\cvs.log", "/OUTPUT=out\\report.txt"};

template <class T>
inline std::string CaseName(const ::testing::TestParamInfo<T>& info) {
  return info.param.Name;
}

/// The sample's switches with `extra` in front; a sample switch that `extra`
/// gives too is left out, as a switch given twice is refused.
inline std::vector<std::string> SampleArgs(std::vector<std::string> extra) {
  auto nameOf = [](const std::string& arg) { return arg.substr(0, arg.find('=')); };
  std::vector<std::string> args = extra;
  for (const std::string& sample : SampleArguments)
    if (std::none_of(extra.begin(), extra.end(), [&](const std::string& e) { return nameOf(e) == nameOf(sample); }))
      args.push_back(sample);
  return args;
}

/// Holds the lock a run on `output` takes (byte 0 of its lock file, the one
/// protocol of both builds) until released, in a lock file of `owner` with
/// `mode` (another user's, one the run may not read).
class TLockHolder {
public:
  explicit TLockHolder(const fs::path& output, uid_t owner = geteuid(), mode_t mode = 0666)
      : FPath(output.string() + ".lock") {
    FFd = open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, mode);
    EXPECT_EQ(0, fchown(FFd, owner, owner));
    EXPECT_EQ(0, fchmod(FFd, mode));
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_len = 1;
    EXPECT_EQ(0, fcntl(FFd, F_OFD_SETLKW, &range));
  }
  ~TLockHolder() { Release(); }
  TLockHolder(const TLockHolder&) = delete;
  TLockHolder& operator=(const TLockHolder&) = delete;
  const fs::path& Path() const { return FPath; }
  /// Waits until a run waits for this lock (Linux shows waiters in /proc/locks).
  bool WaitForWaiter() const {
    struct stat info;
    if (fstat(FFd, &info) != 0) return false;
    const std::string inode = ":" + std::to_string(info.st_ino) + " ";
    for (int i = 0; i < 6000; ++i) {
      std::ifstream locks("/proc/locks");
      for (std::string line; std::getline(locks, line);)
        if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) return true;
      usleep(10000);
    }
    return false;
  }
  void Release() {
    if (FFd < 0) return;
    unlink(FPath.c_str());
    close(FFd);
    FFd = -1;
  }

private:
  fs::path FPath;
  int FFd = -1;
};

}  // namespace e2e
