#pragma once
// The three places a switch value is read from: the command line, the INI
// file and the registry key of the current user. Each source answers the
// value of one name in one section; which source wins is the registry's
// business (uProgramSwitch).
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Bibliothek/Plattform/uOsIni.h"

/// Position (0-based) just behind the last "\" or "/" of a path: where the file name starts.
std::size_t FileNameStart(const std::string& path);

// --- sources ----------------------------------------------------------------------

/// Section, name and value of one item (/NAME=value, /NAME+, /[SECTION].NAME=value).
struct TParameterItem {
  std::string Section;  // upper case; PARAMETERS when the item names none
  std::string Name;     // upper case
  std::string Value;
};

/// A parameter source. The registry sets name and section before each read.
class TParameter {
public:
  TParameter() = default;
  virtual ~TParameter() = default;
  TParameter(const TParameter&) = delete;
  TParameter& operator=(const TParameter&) = delete;

  void SetName(const std::string& name) { FName = name; }
  void SetSection(const std::string& section) { FSection = section; }
  const std::string& Name() const { return FName; }
  const std::string& Section() const { return FSection; }

  /// The whole text in which items are searched.
  virtual std::string ReadSource() = 0;
  /// The value of the name in the section, or "": the first matching item of
  /// ReadSource's text, cut into items at every "/".
  virtual std::string ReadValue();

  /// Reads one item by the item rules (the item "?" always has the value "+").
  static TParameterItem ParseItem(const std::string& item);

protected:
  std::string FName;
  std::string FSection;

private:
  // The items of the texts read, by section and name (the first item wins),
  // for each text (an INI file's sections read as different texts): a source
  // with thousands of items is cut once, not on every ask.
  std::unordered_map<std::string, std::unordered_map<std::string, std::string>> FIndexes;
};

/// The command line: everything from its first "/" on.
class TCommandParameter : public TParameter {
public:
  explicit TCommandParameter(std::string commandLine) : FCommandLine(std::move(commandLine)) {}
  std::string ReadSource() override;
  /// As TParameter's, and remembers which item answered and which section was asked.
  std::string ReadValue() override;
  const std::string& CommandLine() const { return FCommandLine; }

  /// One item of the command line as written (trimmed) and as read.
  struct TItem {
    std::string Text;
    TParameterItem Read;
    bool Matched = false;  // some look-up took its value
  };
  /// The items of ReadSource's text, in order; empty ones left out.
  const std::vector<TItem>& Items();
  /// True when a look-up asked for a name in `section` (upper case).
  bool SectionAsked(const std::string& section) const;

private:
  std::string FCommandLine;
  std::optional<std::vector<TItem>> FItems;
  std::vector<std::string> FAskedSections;
};

/// The INI file FFolder + FFileName; its section is read as /KEY=VALUE items.
class TINIParameter : public TParameter {
public:
  /// Folder and name from the executable's path: the folder is everything up
  /// to and including its last "\" or "/", the name has its extension
  /// replaced by ".ini" (or ".ini" appended). Throws EFailure (SIniFileNotFound
  /// followed by the cause) when the path names no file.
  explicit TINIParameter(const std::string& executablePath);
  TINIParameter(std::string folder, std::string fileName)
      : FFileName(std::move(fileName)), FFolder(std::move(folder)) {}

  /// Every read leaves the section at PARAMETERS, where the items it makes match.
  std::string ReadSource() override;
  /// Where the platform takes INI values whole (OsIniValuesHoldSlashes), each
  /// entry is one item and its value keeps every "/"; elsewhere as TParameter's.
  std::string ReadValue() override;
  /// The entry (KEY=VALUE, as in the file) that gives `name` in `section` a
  /// value cut at a "/", where the platform cuts INI values there; "" when none.
  std::string CutEntry(const std::string& name, const std::string& section) const;

  const std::string& Folder() const { return FFolder; }
  const std::string& FileName() const { return FFileName; }
  void SetFolder(const std::string& folder) { FFolder = folder; }
  void SetFileName(const std::string& fileName) { FFileName = fileName; }
  std::string FullName() const { return FFolder + FFileName; }

private:
  std::string FFileName;
  std::string FFolder;
  // The last list read and its text: the list stays the same while the file does.
  std::shared_ptr<const TIniEntries> FLastEntries;
  std::string FLastText;
  // The last list read whole, by name (first entry wins).
  std::shared_ptr<const TIniEntries> FWholeEntries;
  std::unordered_map<std::string, std::string> FWholeIndex;
};

/// The key FKeyPath + section under HKEY_CURRENT_USER; the value named like the switch.
class TRegistryParameter : public TParameter {
public:
  explicit TRegistryParameter(std::string keyPath) : FKeyPath(std::move(keyPath)) {}
  /// The string value, whole; "" when the key or value is missing. Throws
  /// EFailure (SInvalidDataType) for a value that is not a string.
  std::string ReadSource() override;
  std::string ReadValue() override;

  const std::string& KeyPath() const { return FKeyPath; }
  void SetKeyPath(const std::string& keyPath) { FKeyPath = keyPath; }

private:
  std::string FKeyPath;
};
