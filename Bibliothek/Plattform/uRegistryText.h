#pragma once
// The text of a registry file in the format of regedit exports: the current
// user's registry of the native build (uOsRegistry.h). Parsed once; read and
// edited with every line but the one stored (or added) kept as it was.
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
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Bibliothek/Plattform/uIniText.h"
#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/Plattform/uOsRegistry.h"

class TRegistryText {
public:
  /// Parses a file's bytes (empty: a missing file, an empty registry); the
  /// values' text is given in `charset`, which must outlive this object.
  TRegistryText(const std::string& bytes, const TCharset& charset);

  /// False for a text that is no registry file.
  bool IsRegistry() const { return FValid; }

  /// As OsRegReadValue: the value `name` of the key `keyPath`; nullopt when missing or deleted.
  std::optional<TOsRegValue> Value(const std::string& keyPath, const std::string& name) const;

  /// The file's new bytes with the REG_SZ value stored (a string ends at its
  /// first zero); nullopt for a text that is no registry file or a name that
  /// cannot be stored.
  std::optional<std::string> WithString(const std::string& keyPath, const std::string& name,
                                        const std::string& value) const;

private:
  enum class TEncoding { Bytes, Utf8Bom, Utf16 };
  using TLine = TTextLine;
  struct TRecord {
    std::string Key;   // upper-cased path components, each followed by "\"
    std::string Name;  // upper-cased; "" for the default value
    bool Deleted = false;
    TOsRegValue Value;
    std::size_t FirstLine = 0, LastLine = 0;
  };

  std::string LineText(std::size_t i) const;
  bool ParseData(std::string data, std::size_t& i, TRecord& record) const;
  void Parse();
  std::string TextFromUnits(const std::u16string& units, std::vector<std::size_t>* unitAt) const;
  std::u16string UnitsFromText(const std::string& text) const;
  std::string StringFromBytes(const std::string& bytes) const;
  std::string ValueLine(const std::string& name, const std::string& text) const;
  std::string Encode(std::size_t pos, std::size_t count, const std::string& insert) const;
  std::string Upper(std::string text) const;
  std::string KeyOf(const std::string& keyPath) const;

  const TCharset* FCharset;
  bool FValid = true;
  bool FVersion4 = false;
  TEncoding FEncoding = TEncoding::Bytes;
  std::string FPrefix;               // the byte-order mark, kept as it was
  std::u16string FUnits;             // UTF-16 files: the original units
  std::vector<std::size_t> FUnitAt;  // UTF-16 files: the unit where each byte of FText starts, and the end
  std::string FText;                 // the charset's view the parser works on
  std::vector<TLine> FLines;
  std::vector<TRecord> FRecords;
  // Look-ups by index keep a large file linear work: key and name -> the
  // last record, key -> the last line of its last block.
  std::unordered_map<std::string, std::size_t> FLastRecord;
  std::unordered_map<std::string, std::size_t> FLastBlockLine;
};
