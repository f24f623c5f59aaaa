#pragma once
// The text of an INI file, read and edited the way the Windows profile
// functions do it, so that a file gives the same answers in both builds:
// - lines end at CR LF, LF or a lone CR; blank lines mean nothing;
// - "[name]" starts a section; the name ends at the line's last "]", text
//   after it is ignored, and a line "[name" without "]" is an entry line;
//   only the first section of a name counts;
// - an entry line is NAME=VALUE, both trimmed; a line without "=" is a name
//   without value, found but never listed and read as empty; lines starting
//   with ";" are not listed either; lines before the first section form the
//   section with the empty name;
// - names are found without regard to case, by the upper-case mapping the
//   caller gives; the first entry of a name wins.
// Storing an entry changes only the one line it stores (or adds one),
// everything else stays byte for byte, and new lines take the file's own line
// ending. The text is parsed once; every look-up is an index look-up.
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Bibliothek/Textformate/uCharset.h"

/// Blank as the profile functions see it: white space and the old end-of-file mark ^Z.
inline bool IniIsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

std::string IniTrim(const std::string& text);

/// A line of a settings file: content [Begin, End), line break [End, Next).
struct TTextLine {
  std::size_t Begin = 0, End = 0, Next = 0;
};

/// The lines of `text` from `from` on; a line ends at CR LF, LF or a lone CR.
std::vector<TTextLine> SplitTextLines(const std::string& text, std::size_t from);

/// False for an entry that cannot be stored so that it reads back as written:
/// a line break anywhere would start new lines (a forged entry or section), a
/// "]" ends the section name early, a key holding "=" or starting with ";" or
/// "[" would be read as another key, a comment or a section heading.
bool IniEntryStorable(const std::string& section, const std::string& key, const std::string& value);

class TIniText {
public:
  /// Parses `text`; names are compared as `upperCase` maps them.
  TIniText(std::string text, TUpperCaseBuffer upperCase);

  /// The listed keys of `section` in file order, up to what a 16384-byte key
  /// list holds (a name the list would cut is left out); empty when the section is missing.
  std::vector<std::string> Keys(const std::string& section) const;

  /// The value of `key` in `section`, one pair of enclosing double or single
  /// quotes dropped, at most 2047 characters; empty when section or key is missing.
  std::string Value(const std::string& section, const std::string& key) const;

  /// Keys(section), each with its Value; made once per section, then shared.
  std::shared_ptr<const std::vector<std::pair<std::string, std::string>>> Entries(const std::string& section) const;

  /// The text with key=value stored in `section` (trimmed, as the profile
  /// functions store it); the caller checks IniEntryStorable first.
  std::string Stored(const std::string& section, const std::string& key, const std::string& value) const;

  const std::string& Text() const { return FText; }

private:
  using TLine = TTextLine;
  struct TEntry {
    std::size_t Line = 0;
    std::string Name;  // trimmed, as written
    bool HasValue = false;
    std::string Value;  // trimmed
    std::size_t First = 0;  // the section's first entry of this name (in FEntries), which answers for it
  };
  struct TSection {
    std::string Name;
    std::size_t LastLine = std::string::npos;  // last non-blank line, the heading included
    std::size_t Begin = 0, End = 0;  // its entries in FEntries
    std::unordered_map<std::string, std::size_t> EntryIndex;  // upper-cased name -> its first entry
  };

  const TSection* FindSection(const std::string& name) const;
  const TEntry* FindEntry(const TSection& section, const std::string& key) const;
  std::string LineBreak() const;
  std::string Upper(std::string text) const;
  static std::string Answer(const TEntry& entry);
  std::vector<const TEntry*> Listed(const std::string& section) const;

  std::string FText;
  TUpperCaseBuffer FUpperCase;
  std::size_t FBodyStart = 0;  // after a UTF-8 byte-order mark
  std::vector<TLine> FLines;
  std::vector<TEntry> FEntries;     // of all sections, in file order
  std::vector<TSection> FSections;  // [0]: the lines before the first heading
  std::unordered_map<std::string, std::size_t> FSectionIndex;  // upper-cased name -> its first heading's section
  struct TEntryLists {
    std::mutex Mutex;  // a parsed file is shared between threads
    std::unordered_map<const TSection*, std::shared_ptr<const std::vector<std::pair<std::string, std::string>>>> Lists;
  };
  std::unique_ptr<TEntryLists> FEntryLists = std::make_unique<TEntryLists>();
};
