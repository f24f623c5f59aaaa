#pragma once
// The text of a registry file in the format of regedit exports: the current
// user's registry of the native build (uOsRegistry.h reads and writes the file
// through it). Parsed once; read and edited with every line but the one stored
// (or added) kept as it was. Names and key paths are found without regard to
// case, by the upper-case mapping the caller gives.
//
// Reading:
// - a file starting with the UTF-16LE byte-order mark is taken code point by
//   code point into the given character set, a character it cannot hold as
//   "?"; a write edits the original units and loses nothing;
// - the first non-blank line is "Windows Registry Editor Version 5.00" or
//   "REGEDIT4"; any other text is no registry file: nothing is read from it and
//   nothing is written to it;
// - "[HKEY_CURRENT_USER\path]" or "[HKCU\path]" starts a key's block, other
//   hives and "[-...]" start blocks that are ignored; a key may have several
//   blocks, and a later value line overrides an earlier one;
// - "NAME"=... or @=... (the default value), names with \\ and \" escapes;
//   data "text" (String), hex(1): (String), hex(2): (ExpandString, UTF-16LE
//   bytes in a version 5 file, single bytes in REGEDIT4), dword:, hex: and any
//   other hex(N): (Other), - (deleted); hex data continues on the next line
//   after a trailing "\".
// Writing: a new file gets the version 5 header and CR LF line ends; an
// existing file keeps its line ends and its encoding.
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Bibliothek/Textformate/uCharset.h"
#include "Bibliothek/Textformate/uIniText.h"
#include "Bibliothek/Textformate/uRegValue.h"

class TRegistryText {
public:
  /// Parses a file's bytes (empty: a missing file, an empty registry); the
  /// values' text is given in `charset`, which must outlive this object, and
  /// names are compared as `upperCase` maps them.
  TRegistryText(std::string bytes, const TCharset& charset, TUpperCaseBuffer upperCase);

  /// False for a text that is no registry file.
  bool IsRegistry() const { return FValid; }

  /// As OsRegReadValue: the value `name` of the key `keyPath`; nullopt when missing or deleted.
  std::optional<TRegValue> Value(const std::string& keyPath, const std::string& name) const;

  /// The file's new bytes with the REG_SZ value stored (a string ends at its
  /// first zero); nullopt for a text that is no registry file or a name that
  /// cannot be stored.
  std::optional<std::string> WithString(const std::string& keyPath, const std::string& name,
                                        const std::string& value) const;

private:
  enum class TEncoding { Bytes, Utf8Bom, Utf16 };
  using TLine = TTextLine;
  struct TRecord {
    std::string Name;  // upper-cased; "" for the default value
    bool Deleted = false;
    TRegValue Value;
    TLine First, Last;  // its first and last line
  };
  /// One block of a key: its heading, then the lines of [BodyBegin, BodyEnd).
  struct TBlock {
    TLine Heading;
    std::size_t PathBegin = 0, PathEnd = 0;  // the heading's path, the hive included
    std::size_t LastBegin = 0;               // its last component: [LastBegin, LastEnd)
    std::size_t LastEnd = 0;
    std::size_t BodyBegin = 0, BodyEnd = 0;
  };
  /// The values of one key, parsed when the key is first asked for.
  struct TKeyValues {
    std::vector<TRecord> Records;
    std::unordered_map<std::string, std::size_t> LastRecord;  // name -> its last record
    TLine LastLine;  // the last block's heading or its last value line
    bool Found = false;  // false: the key has no block (kept too, so that it is looked for once)
  };

  TLine LineAt(std::size_t pos) const;
  std::string Trimmed(const TLine& line) const;
  bool ParseRecord(TLine& line, TRecord& record, bool spanOnly = false) const;
  bool ParseData(std::string data, TLine& line, TRecord& record, bool spanOnly) const;
  void Parse();
  const TKeyValues* ValuesOf(const std::string& keyPath) const;
  std::string TextFromUnits(std::string_view littleEndian) const;
  std::string_view Units() const;
  std::u16string UnitsFromText(const std::string& text) const;
  std::size_t UnitAt(std::size_t pos) const;
  std::string StringFromBytes(const std::string& bytes) const;
  std::string ValueLine(const std::string& name, const std::string& text) const;
  std::string Encode(std::size_t pos, std::size_t count, const std::string& insert) const;
  std::string Upper(std::string text) const;
  std::vector<std::string> KeyOf(const std::string& keyPath) const;

  const TCharset* FCharset;
  TUpperCaseBuffer FUpperCase;
  bool FValid = true;
  bool FVersion4 = false;
  TEncoding FEncoding = TEncoding::Bytes;
  std::string FPrefix;    // the byte-order mark, kept as it was
  std::string FUtf16;     // UTF-16 files: the original bytes, the byte-order mark included
  std::string FText;      // the charset's view the parser works on
  // A large file stays linear work: reading it only finds the blocks of the
  // current user's keys, and a key's values are parsed once, when the key is
  // first asked for.
  std::vector<TBlock> FBlocks;
  struct TParsedKeys {
    std::mutex Mutex;  // a parsed file is shared between threads
    std::unordered_map<std::string, std::unique_ptr<const TKeyValues>> Values;  // by KeyOf's parts, each with "\\"
  };
  std::unique_ptr<TParsedKeys> FParsedKeys = std::make_unique<TParsedKeys>();
};
