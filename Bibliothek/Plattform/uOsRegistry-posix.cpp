// The current user's registry as one text file in the format of regedit
// exports. Parsed once while it stays the same (the switch library asks on
// every look-up); written by replacing the file atomically, under a lock so
// that concurrent writers lose nothing, with every line but the one stored
// (or added) kept as it was.
//
// Reading:
// - a file starting with the UTF-16LE byte-order mark is taken code point by
//   code point into the locale's encoding, a character it cannot hold as "?"
//   (the C locale keeps those below 256 as that byte); a write edits the
//   original units and loses nothing;
// - the first non-blank line is "Windows Registry Editor Version 5.00" or
//   "REGEDIT4"; any other file is no registry file: nothing is read from it and
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
#include "Bibliothek/Plattform/uOsRegistry.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "Bibliothek/Plattform/uOsIniPosixIo.h"
#include "Bibliothek/Plattform/uOsLocale.h"

namespace {

constexpr std::size_t kNone = std::string::npos;
const char* const kHeader5 = "Windows Registry Editor Version 5.00";
const char* const kHeader4 = "REGEDIT4";

enum class TEncoding { Bytes, Utf8Bom, Utf16 };

struct TRegLine {
  std::size_t Begin = 0, End = 0, Next = 0;  // content [Begin, End), line break [End, Next)
};

struct TRegRecord {
  std::vector<std::string> Key;  // upper-cased path components
  std::string Name;              // upper-cased; "" for the default value
  bool Deleted = false;
  TOsRegValue Value;
  std::size_t FirstLine = 0, LastLine = 0;
};

struct TRegBlock {
  std::vector<std::string> Key;  // upper-cased path components
  std::size_t LastLine = 0;      // the key line or its last value line
};

struct TRegFile {
  bool Exists = false;
  bool Valid = true;  // false: not a registry file
  bool Version4 = false;
  TEncoding Encoding = TEncoding::Bytes;
  std::string Prefix;       // the byte-order mark, kept as it was
  std::u16string Units;     // UTF-16 files: the original units
  std::vector<std::size_t> UnitAt;  // UTF-16 files: the unit where each byte of Text starts, and the end
  std::string Text;         // the locale's view the parser works on
  std::vector<TRegLine> Lines;
  std::vector<TRegBlock> Blocks;
  std::vector<TRegRecord> Records;
};

std::string Upper(std::string text) {
  OsUpperCaseBuffer(text.data(), text.size());
  return text;
}

std::string TrimBlanks(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t')) ++first;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
  return text.substr(first, last - first);
}

/// Path components without empty ones, so "a\\b\" is a\b, as the registry takes it.
std::vector<std::string> SplitKey(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find('\\', pos);
    if (end == kNone) end = path.size();
    if (end > pos) parts.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

std::vector<std::string> UpperAll(std::vector<std::string> parts) {
  for (std::string& p : parts) p = Upper(p);
  return parts;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/// A quoted text starting at `pos` (on the opening quote), with \\ and \" escapes.
bool ParseQuoted(const std::string& s, std::size_t& pos, std::string& out) {
  out.clear();
  if (pos >= s.size() || s[pos] != '"') return false;
  for (++pos; pos < s.size(); ++pos) {
    if (s[pos] == '"') {
      ++pos;
      return true;
    }
    if (s[pos] == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) ++pos;
    out += s[pos];
  }
  return false;
}

/// Comma-separated hex bytes; blanks and the continuation marks already removed.
bool ParseHexBytes(const std::string& s, std::string& out) {
  out.clear();
  std::size_t pos = 0;
  while (pos < s.size()) {
    std::string digits;
    while (pos < s.size() && s[pos] != ',') {
      if (s[pos] != ' ' && s[pos] != '\t') digits += s[pos];
      ++pos;
    }
    ++pos;  // the comma
    if (digits.empty() && pos >= s.size()) break;
    if (digits.size() < 1 || digits.size() > 2) return false;
    int value = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      value = value * 16 + d;
    }
    out += static_cast<char>(value);
  }
  return true;
}

/// Appends one code point in the locale's encoding; what the locale cannot
/// hold becomes "?", except that the C locale keeps a code point below 256 as
/// that byte (as it takes such a byte back).
void AppendCodePoint(std::string& text, char32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
    return;
  }
  char buffer[MB_LEN_MAX];
  std::mbstate_t state{};
  const std::size_t n = code <= WCHAR_MAX ? std::wcrtomb(buffer, static_cast<wchar_t>(code), &state) : std::size_t(-1);
  if (n != std::size_t(-1))
    text.append(buffer, n);
  else
    text += code < 256 ? static_cast<char>(code) : '?';
}

/// UTF-16 units to the locale's text; `unitAt`, when given, gets for every
/// byte of the text the index of the unit it came from, and the end.
std::string TextFromUnits(const std::u16string& units, std::vector<std::size_t>* unitAt) {
  std::string text;
  for (std::size_t i = 0; i < units.size();) {
    const std::size_t start = i;
    char32_t code = units[i++];
    if (code >= 0xD800 && code < 0xDC00 && i < units.size() && units[i] >= 0xDC00 && units[i] < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i++] - 0xDC00);
    else if (code >= 0xD800 && code < 0xE000)
      code = '?';  // half a pair
    const std::size_t before = text.size();
    AppendCodePoint(text, code);
    if (unitAt) unitAt->insert(unitAt->end(), text.size() - before, start);
  }
  if (unitAt) unitAt->push_back(units.size());
  return text;
}

/// The locale's text as UTF-16 units; a byte that starts no character of the
/// locale stands for the code point of its value, as TextFromUnits reads it.
std::u16string UnitsFromText(const std::string& text) {
  std::u16string units;
  std::mbstate_t state{};
  for (std::size_t i = 0; i < text.size();) {
    wchar_t wide = 0;
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    std::size_t n = byte < 0x80 ? 1 : std::mbrtowc(&wide, text.data() + i, text.size() - i, &state);
    char32_t code = byte;
    if (byte >= 0x80 && n != 0 && n <= MB_LEN_MAX) {
      code = static_cast<char32_t>(wide);
    } else {
      n = 1;
      state = std::mbstate_t{};
    }
    if (code > 0xFFFF) {
      units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(code);
    }
    i += n;
  }
  return units;
}

/// Text stored as bytes of a registry string: UTF-16LE units in a version 5
/// file, single bytes in REGEDIT4; up to the first zero.
std::string StringFromBytes(const std::string& bytes, bool version4) {
  if (version4) return bytes.substr(0, bytes.find('\0'));
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) break;
    units += unit;
  }
  return TextFromUnits(units, nullptr);
}

void SplitLines(TRegFile& reg) {
  const std::string& t = reg.Text;
  for (std::size_t pos = 0; pos < t.size();) {
    TRegLine line;
    line.Begin = pos;
    while (pos < t.size() && t[pos] != '\r' && t[pos] != '\n') ++pos;
    line.End = pos;
    if (pos < t.size()) pos += (t[pos] == '\r' && pos + 1 < t.size() && t[pos + 1] == '\n') ? 2 : 1;
    line.Next = pos;
    reg.Lines.push_back(line);
  }
}

std::string LineText(const TRegFile& reg, std::size_t i) {
  return reg.Text.substr(reg.Lines[i].Begin, reg.Lines[i].End - reg.Lines[i].Begin);
}

/// Reads the data of a value line; `i` moves to the last line a hex value continues on.
bool ParseData(const TRegFile& reg, std::string data, std::size_t& i, TRegRecord& record) {
  if (data == "-") {
    record.Deleted = true;
    return true;
  }
  if (!data.empty() && data[0] == '"') {
    std::size_t pos = 0;
    if (!ParseQuoted(data, pos, record.Value.Data)) return false;
    record.Value.Type = TOsRegType::String;
    return true;
  }
  if (Upper(data.substr(0, 6)) == "DWORD:") {
    const std::string digits = TrimBlanks(data.substr(6));
    if (digits.empty() || digits.size() > 8) return false;
    unsigned long number = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) return false;
      number = number * 16 + static_cast<unsigned long>(HexDigit(c));
    }
    record.Value.Type = TOsRegType::Other;
    record.Value.Data.clear();
    for (int b = 0; b < 4; ++b) record.Value.Data += static_cast<char>((number >> (8 * b)) & 0xFF);
    return true;
  }
  if (Upper(data.substr(0, 3)) != "HEX") return false;
  std::size_t colon = data.find(':');
  if (colon == kNone) return false;
  unsigned kind = 3;  // hex: is REG_BINARY
  const std::string type = data.substr(3, colon - 3);
  if (!type.empty()) {
    if (type.size() < 3 || type.front() != '(' || type.back() != ')') return false;
    kind = 0;
    for (std::size_t k = 1; k + 1 < type.size(); ++k) {
      const int d = HexDigit(type[k]);
      if (d < 0) return false;
      // Only 1 and 2 mean anything; a longer number stays a large one.
      if (kind < 0x10000) kind = kind * 16 + static_cast<unsigned>(d);
    }
  }
  // Each continuation line is trimmed on its own: trimming the growing whole
  // made a long value quadratic work.
  std::string hex = TrimBlanks(data.substr(colon + 1));
  while (!hex.empty() && hex.back() == '\\' && i + 1 < reg.Lines.size()) {
    hex.pop_back();
    ++i;
    const TRegLine& line = reg.Lines[i];
    std::size_t end = line.End;
    while (end > line.Begin && (reg.Text[end - 1] == ' ' || reg.Text[end - 1] == '\t')) --end;
    hex.append(reg.Text, line.Begin, end - line.Begin);
  }
  if (!hex.empty() && hex.back() == '\\') hex.pop_back();
  std::string bytes;
  if (!ParseHexBytes(hex, bytes)) return false;
  if (kind == 1 || kind == 2) {
    record.Value.Type = kind == 1 ? TOsRegType::String : TOsRegType::ExpandString;
    record.Value.Data = StringFromBytes(bytes, reg.Version4);
  } else {
    record.Value.Type = TOsRegType::Other;
    record.Value.Data = bytes;
  }
  return true;
}

void Parse(TRegFile& reg) {
  SplitLines(reg);
  std::size_t i = 0;
  while (i < reg.Lines.size() && TrimBlanks(LineText(reg, i)).empty()) ++i;
  if (i == reg.Lines.size()) return;  // an empty file is an empty registry
  const std::string header = TrimBlanks(LineText(reg, i));
  reg.Version4 = header == kHeader4;
  if (header != kHeader5 && !reg.Version4) {
    reg.Valid = false;
    return;
  }
  bool inKey = false;
  std::vector<std::string> key;
  for (++i; i < reg.Lines.size(); ++i) {
    const std::string line = TrimBlanks(LineText(reg, i));
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      inKey = false;
      if (line.back() != ']' || line.size() < 2 || line[1] == '-') continue;
      const std::vector<std::string> parts = SplitKey(line.substr(1, line.size() - 2));
      if (parts.empty()) continue;
      const std::string hive = Upper(parts[0]);
      if (hive != "HKEY_CURRENT_USER" && hive != "HKCU") continue;
      inKey = true;
      key = UpperAll(std::vector<std::string>(parts.begin() + 1, parts.end()));
      reg.Blocks.push_back({key, i});
      continue;
    }
    if (!inKey) continue;
    TRegRecord record;
    record.Key = key;
    record.FirstLine = i;
    std::size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!ParseQuoted(line, pos, record.Name)) {
      continue;
    }
    const std::string rest = TrimBlanks(line.substr(pos));
    if (rest.empty() || rest[0] != '=') continue;
    std::size_t last = i;
    if (!ParseData(reg, TrimBlanks(rest.substr(1)), last, record)) {
      i = last;
      continue;
    }
    record.Name = Upper(record.Name);
    record.LastLine = last;
    reg.Blocks.back().LastLine = last;
    reg.Records.push_back(std::move(record));
    i = last;
  }
}

TRegFile ParseFile(const std::string& bytes, bool exists) {
  TRegFile reg;
  reg.Exists = exists;
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
    reg.Encoding = TEncoding::Utf16;
    reg.Prefix = bytes.substr(0, 2);
    for (std::size_t k = 2; k + 1 < bytes.size(); k += 2)
      reg.Units += static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                         (static_cast<unsigned char>(bytes[k + 1]) << 8));
    reg.Text = TextFromUnits(reg.Units, &reg.UnitAt);
  } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    reg.Encoding = TEncoding::Utf8Bom;
    reg.Prefix = bytes.substr(0, 3);
    reg.Text = bytes.substr(3);
  } else {
    reg.Text = bytes;
  }
  Parse(reg);
  return reg;
}

/// The registry file as parsed; null when it cannot be read.
std::shared_ptr<const TRegFile> Load(const std::string& path) {
  static TPosixParsedFiles<TRegFile> files;
  return files.Get(path, ParseFile);
}

/// The file's text with `count` characters at `pos` replaced by `insert`, in
/// the file's own encoding.
std::string Encode(const TRegFile& reg, std::size_t pos, std::size_t count, const std::string& insert) {
  if (reg.Encoding != TEncoding::Utf16) {
    std::string text = reg.Text;
    text.replace(pos, count, insert);
    return reg.Prefix + text;
  }
  std::u16string units = reg.Units;
  const std::size_t first = reg.UnitAt[pos], last = reg.UnitAt[pos + count];
  units.replace(first, last - first, UnitsFromText(insert));
  std::string bytes = reg.Prefix;
  for (char16_t u : units) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

/// A value line. Text with a line break cannot stand between quotes, so it is
/// stored in the hex form of a string value, which reads back the same.
std::string ValueLine(const std::string& name, const std::string& text, bool version4) {
  std::string line = name.empty() ? "@=" : Quote(name) + "=";
  if (text.find_first_of("\r\n") == kNone) return line + Quote(text);
  static const char digits[] = "0123456789abcdef";
  line += "hex(1):";
  auto addByte = [&](unsigned char b, bool first) {
    if (!first) line += ',';
    line += digits[b >> 4];
    line += digits[b & 15];
  };
  bool first = true;
  if (version4) {
    for (char c : text + '\0') {
      addByte(static_cast<unsigned char>(c), first);
      first = false;
    }
    return line;
  }
  for (char16_t unit : UnitsFromText(text) + u'\0') {
    addByte(static_cast<unsigned char>(unit & 0xFF), first);
    addByte(static_cast<unsigned char>(unit >> 8), false);
    first = false;
  }
  return line;
}

bool MakeFolders(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == kNone || slash == 0) return true;
  const std::string folder = path.substr(0, slash);
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (!MakeFolders(folder)) return false;
  return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

std::string OsRegistryFilePath() {
  const char* file = std::getenv("HKCU_FILE");
  if (file && *file) return file;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  // Relative values are invalid for this variable and are ignored.
  if (config && *config == '/') return std::string(config) + "/HKEY_CURRENT_USER.reg";
  const char* home = std::getenv("HOME");
  std::string folder = home && *home ? home : "";
  if (folder.empty()) {
    if (const passwd* user = getpwuid(getuid())) folder = user->pw_dir ? user->pw_dir : "";
  }
  return folder + "/.config/HKEY_CURRENT_USER.reg";
}

std::optional<TOsRegValue> OsRegReadValue(const std::string& keyPath, const std::string& name) {
  const std::shared_ptr<const TRegFile> loaded = Load(OsRegistryFilePath());
  if (!loaded || !loaded->Valid) return std::nullopt;
  const TRegFile& reg = *loaded;
  const std::vector<std::string> key = UpperAll(SplitKey(keyPath));
  const std::string wanted = Upper(name);
  for (auto it = reg.Records.rbegin(); it != reg.Records.rend(); ++it) {
    if (it->Key != key || it->Name != wanted) continue;
    if (it->Deleted) return std::nullopt;
    return it->Value;
  }
  return std::nullopt;
}

bool OsRegWriteString(const std::string& keyPath, const std::string& name, const std::string& value) {
  if (name.find_first_of(std::string("\r\n\0", 3)) != kNone) return false;
  const std::string path = OsRegistryFilePath();
  if (!MakeFolders(path)) return false;
  const TPosixFileWriteLock lock(path);
  if (!lock.Held()) return false;
  const std::shared_ptr<const TRegFile> loaded = Load(path);
  if (!loaded || !loaded->Valid) return false;
  const TRegFile& reg = *loaded;

  const std::string text = value.substr(0, value.find('\0'));  // a string ends at its first zero
  const std::vector<std::string> parts = SplitKey(keyPath);
  const std::vector<std::string> key = UpperAll(parts);
  const std::string wanted = Upper(name);
  std::string eol = "\r\n";
  for (const TRegLine& line : reg.Lines)
    if (line.Next > line.End) {
      eol = reg.Text.substr(line.End, line.Next - line.End);
      break;
    }
  const std::string valueLine = ValueLine(name, text, reg.Version4);
  std::string keyLine = "[HKEY_CURRENT_USER";
  for (const std::string& part : parts) keyLine += "\\" + part;
  keyLine += "]";

  std::size_t pos = 0, count = 0;
  std::string insert;
  const TRegRecord* record = nullptr;
  for (auto it = reg.Records.rbegin(); it != reg.Records.rend() && !record; ++it)
    if (it->Key == key && it->Name == wanted) record = &*it;
  const TRegBlock* block = nullptr;
  for (auto it = reg.Blocks.rbegin(); it != reg.Blocks.rend() && !block; ++it)
    if (it->Key == key) block = &*it;

  if (record) {
    pos = reg.Lines[record->FirstLine].Begin;
    count = reg.Lines[record->LastLine].End - pos;
    insert = valueLine;
  } else if (block) {
    const TRegLine& line = reg.Lines[block->LastLine];
    pos = line.Next;
    insert = (line.Next == line.End ? eol : "") + valueLine + eol;
    // A hex line that ends in a continuation mark would take the new line in:
    // a blank line ends the value first.
    const std::string last = TrimBlanks(LineText(reg, block->LastLine));
    if (!last.empty() && last.back() == '\\') insert = (line.Next == line.End ? eol : "") + eol + valueLine + eol;
  } else {
    pos = reg.Text.size();
    bool blankLine = false;
    if (reg.Text.find_first_not_of(" \t\r\n") == kNone) {
      // A missing or blank file becomes a new registry file.
      insert = std::string(kHeader5) + eol;
      pos = 0;
      count = reg.Text.size();
    } else {
      const TRegLine& last = reg.Lines.back();
      if (last.Next == last.End) insert = eol;
      blankLine = last.Next > last.End && last.End == last.Begin;
    }
    if (!blankLine) insert += eol;
    insert += keyLine + eol + valueLine + eol;
  }
  return PosixReplaceFile(path, Encode(reg, pos, count, insert));
}
