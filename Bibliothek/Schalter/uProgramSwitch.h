#pragma once
// The program switch registry: every module declares its switches here and
// asks for their values. A value is looked up afresh on every request in the
// registry key of the current user, the INI file and the command line, in
// that order; the last non-empty answer wins, and macros written %NAME% are
// expanded from the section MACROS. Registration only serves the overview and
// the export; it does not change how values are found.
//
// Failures are EFailure with the library's texts (uProgramSwitchConstant).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Bibliothek/Schalter/uParameterSources.h"
#include "Bibliothek/uFileRoutines.h"
#include "Bibliothek/uSingleton.h"

// --- values ---------------------------------------------------------------------

/// One switch value as GetValue hands it out; owned by the registry.
class TBasisParameter {
public:
  explicit TBasisParameter(std::string value) : FValue(std::move(value)) {}
  virtual ~TBasisParameter() = default;
  TBasisParameter(const TBasisParameter&) = delete;
  TBasisParameter& operator=(const TBasisParameter&) = delete;

  /// The value, unchanged.
  virtual std::string AsString() const;
  /// Optional sign and decimal digits, blanks around them allowed, 32 bits.
  /// Throws EFailure (SFormatNotValid + SNotAnInteger) otherwise.
  virtual std::int32_t AsInteger() const;
  /// A decimal number with the C library's decimal point in force.
  /// Throws EFailure (SFormatNotValid + SNotAFloat) otherwise.
  virtual double AsFloat() const;
  /// True only for the value "+".
  virtual bool AsBoolean() const;

protected:
  std::string FValue;
};

/// Stands for the absence of a value: "", 0, 0.0, false.
class TNULLParameter : public TBasisParameter {
public:
  TNULLParameter() : TBasisParameter(std::string()) {}
  std::string AsString() const override;
  std::int32_t AsInteger() const override;
  double AsFloat() const override;
  bool AsBoolean() const override;
};

// --- the registry -----------------------------------------------------------------

/// Option hint, default, description.
using TSwitchTexts = std::array<std::string, 3>;

/// A command-line item that names no switch: as written, and the registered
/// name closest to its own (empty when none is close).
struct TUnknownItem {
  std::string Text;
  std::string Suggestion;
};

/// Where a switch's raw value came from.
enum class TValueSource { None, Registry, Ini, CommandLine };

/// Where the export stores the switches (uSwitchExport.h).
class TSettingsStore;
TSettingsStore& RealSettingsStore();

class sofProgramSwitch : public TSingleton {
public:
  /// The registry, with one more holder; the first creation sets up the
  /// sources and reads REGOFF, INIOFF, CMDOFF, INIPATH, INIFILE and REGPATH.
  /// A failure then (a non-string registry value) passes on and leaves no
  /// registry behind.
  static sofProgramSwitch* Create() { return TSingleton::Create<sofProgramSwitch>(); }

  /// Used by tests: the command line and executable path that the next
  /// creation of the registry takes instead of the process's own (nullopt:
  /// the process's own).
  static void SetTestProcess(std::optional<std::string> commandLine,
                             std::optional<std::string> executablePath);

  /// Adds a visible switch. Throws EFailure (SMultipleRegistries with the
  /// name as passed) when a visible switch of that name exists.
  void Register(const std::string& name, const std::string& optionHint, const std::string& defaultValue,
                const std::string& description);
  /// Adds a hidden switch; refuses, as Register does, a name that is
  /// registered already, visible or hidden.
  void RegisterHidden(const std::string& name, const std::string& optionHint,
                      const std::string& defaultValue, const std::string& description);

  /// The value of a switch, registered or not (empty section: PARAMETERS):
  /// a fresh object that lives until the next GetValue of the same name and
  /// section, or the null object when no source sets it and `defaultValue`
  /// is empty. Passes on the failures of the sources.
  TBasisParameter* GetValue(const std::string& name, const std::string& section = std::string(),
                            const std::string& defaultValue = std::string());
  /// The raw value from the sources that are on, macros not expanded.
  std::string GetSourceValue(const std::string& name, const std::string& section);
  /// Expands %NAME% references from the section MACROS (at most ten passes;
  /// an unresolved reference or chain gives ""). Each reference is replaced
  /// where it stands. A reference to a macro that no source sets is reported
  /// to the warning handler, naming `switchName`. Throws EFailure
  /// (SMacrosTooLong with `switchName`) when the result would pass 64 KiB.
  std::string ExpandMacros(std::string value, const std::string& switchName = std::string());
  /// The source whose answer GetSourceValue takes for the name in the section.
  TValueSource SourceOf(const std::string& name, const std::string& section = std::string());

  /// Receives the library's warnings (one line of text each, without the
  /// program's name); the library itself never prints them. None by default.
  using TWarningHandler = std::function<void(const std::string&)>;
  void SetWarningHandler(TWarningHandler handler) { FWarningHandler = std::move(handler); }
  /// Hands `text` to the warning handler, if there is one.
  void Warn(const std::string& text) const {
    if (FWarningHandler) FWarningHandler(text);
  }
  /// The command-line items that no look-up so far has matched and that name
  /// no registered switch (visible or hidden) in their section. Items of the
  /// section MACROS, of a section some look-up asked for, and "?" count as used.
  std::vector<TUnknownItem> UnknownCommandItems();
  /// The registered switch of the section PARAMETERS whose name is closest to
  /// the name in `word` (leading "-" and "/" and anything from "=", "+" or "-"
  /// on left out), such as DATE for "--date=x"; "" when none is close.
  std::string ClosestSwitchName(const std::string& word) const;
  /// The first two command-line items (as written) that give one name in one
  /// section two different values; nullopt when every switch has one value.
  std::optional<std::pair<std::string, std::string>> ConflictingCommandItems();

  int SwitchCount() const { return static_cast<int>(FSwitches.size()); }
  std::string SwitchKey(int index) const { return FSwitches.at(Index(index)).first; }
  const TSwitchTexts& SwitchEntry(int index) const { return FSwitches.at(Index(index)).second; }
  std::string SwitchName(int index) const { return NameOfKey(SwitchKey(index)); }
  std::string SwitchSection(int index) const { return SectionOfKey(SwitchKey(index)); }

  int HiddenSwitchCount() const { return static_cast<int>(FHiddenSwitches.size()); }
  std::string HiddenSwitchKey(int index) const { return FHiddenSwitches.at(Index(index)).first; }
  const TSwitchTexts& HiddenSwitchEntry(int index) const { return FHiddenSwitches.at(Index(index)).second; }
  std::string HiddenSwitchName(int index) const { return NameOfKey(HiddenSwitchKey(index)); }
  std::string HiddenSwitchSection(int index) const { return SectionOfKey(HiddenSwitchKey(index)); }

  /// What the export writes for a registered switch instead of its default,
  /// for a default that is true only on the day it is shown (today's date).
  void SetExportValue(const std::string& name, const std::string& value);
  /// Whether `selector` (a value of WRITEINI or WRITEREG) chooses any switch;
  /// `sections` gets the sections it could name.
  bool SelectorChoosesAny(const std::string& selector, std::string& sections);

  /// The export of the switch set: every switch that the selector (the value
  /// of WRITEINI or WRITEREG) chooses is written with its registered default,
  /// unless the INI entry or registry value holds a value already: what a
  /// user set stays, and the warning handler learns how many were kept.
  /// The selector "all" (any case) takes every switch; else it names a section,
  /// bare or in brackets; while it holds a "[" it loses its first and last
  /// character (and the blanks then at its ends) once per switch. Hidden
  /// switches come first, while SHOWHIDDEN is not "off".
  /// WriteIni creates the INI folder first, even when nothing is chosen, and
  /// flushes the file also after a failure. Throws EFailure
  /// (SPathCannotBeCreated, SCannotWriteIni with the file's full name);
  /// what was written before stays. Memory running out fails with SOutOfMemory.
  /// The INI folder is made through `files`, the entries go to `store`.
  void WriteIni(TSettingsStore& store = RealSettingsStore(), TFileSystem& files = RealFileSystem());
  /// Into the key path of the registry source followed by the switch's
  /// section. Throws EFailure (SCannotSetRegData with the switch's name, or
  /// SOutOfMemory).
  void WriteReg(TSettingsStore& store = RealSettingsStore());

  // Where the sources read, as the path switches set it.
  const TINIParameter& IniParameter() const { return *FIniParameter; }
  const TRegistryParameter& RegistryParameter() const { return *FRegistryParameter; }
  const TCommandParameter& CommandParameter() const { return *FCommandParameter; }
  bool RegistryOn() const { return FRegistryOn; }
  bool IniOn() const { return FIniOn; }
  bool CommandOn() const { return FCommandOn; }

  /// Name and section of a switch key (/NAME or /[SECTION].NAME), case kept.
  static std::string NameOfKey(const std::string& key);
  static std::string SectionOfKey(const std::string& key);

protected:
  void InitSingleton() override;
  void DoneSingleton() override;

private:
  friend class TSingleton;
  sofProgramSwitch() = default;
  ~sofProgramSwitch() override = default;

  enum class TPathSwitch { IniPath, IniFile, RegPath };
  using TSwitchList = std::vector<std::pair<std::string, TSwitchTexts>>;

  static std::size_t Index(int index) { return static_cast<std::size_t>(index); }
  void ReadSourceSwitches();
  void ReadPathSwitch(TPathSwitch which);
  void ApplyPathSwitch(TPathSwitch which, const std::string& answer);
  void ClearLists();
  /// The registered name in `section` closest to `name` (both upper case), or
  /// "" when none is close; `registered` tells whether one matches exactly.
  std::string Closest(const std::string& section, const std::string& name, bool& registered) const;
  using TExportWriter =
      std::function<void(const std::string& section, const std::string& name, const std::string& value)>;
  void ExportSwitches(std::string selector, const TExportWriter& write);
  /// Tells the warning handler how many set values an export into `place` kept.
  void ReportKept(int kept, const std::string& place) const;

  std::unique_ptr<TNULLParameter> FNullParameter;
  std::unique_ptr<TCommandParameter> FCommandParameter;
  std::unique_ptr<TINIParameter> FIniParameter;
  std::unique_ptr<TRegistryParameter> FRegistryParameter;
  TSwitchList FSwitches;
  TSwitchList FHiddenSwitches;
  std::vector<std::pair<std::string, std::unique_ptr<TBasisParameter>>> FValues;
  bool FRegistryOn = true;
  bool FIniOn = true;
  bool FCommandOn = true;
  TWarningHandler FWarningHandler;
  std::unordered_map<std::string, std::string> FExportValues;  // by upper-case name
};

/// The registry of the whole program, held from StartupProgramSwitch to ShutdownProgramSwitch.
extern sofProgramSwitch* ProgramSwitch;

/// The executable's file name without folder, cut before its first ".", every
/// character after the first in lower case (QUILLET.EXE -> Quillet).
std::string ApplicationTitle(const std::string& executablePath);
/// The default of INIPATH: the executable's path cut at the first occurrence
/// of title + ".exe" (without regard to case); the executable's folder when
/// there is none.
std::string IniPathDefault(const std::string& executablePath);

/// Creates the registry into ProgramSwitch and registers the nine built-in
/// switches. A failing registration is shown in an error message box and
/// start-up goes on; a failure of the registry's creation passes on as
/// EFailure, with ProgramSwitch left empty.
void StartupProgramSwitch();
/// Releases the registry.
void ShutdownProgramSwitch();
