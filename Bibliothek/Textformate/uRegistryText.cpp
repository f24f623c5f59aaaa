// Portable: the registry file's parser and editor (uRegistryText.h), in both builds.
#include "Bibliothek/Textformate/uRegistryText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t NotFound = std::string::npos;
const char* const Header5 = "Windows Registry Editor Version 5.00";
const char* const Header4 = "REGEDIT4";

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
    if (end == NotFound) end = path.size();
    if (end > pos) parts.push_back(path.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

/// Equal but for the case of ASCII letters (the hive's names are ASCII).
bool SameAscii(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t k = 0; k < text.size(); ++k)
    if ((text[k] >= 'a' && text[k] <= 'z' ? text[k] - 'a' + 'A' : text[k]) != upper[k]) return false;
  return true;
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
  out.reserve(s.size() / 3 + 1);
  std::size_t pos = 0;
  while (pos < s.size()) {
    int digits = 0, value = 0;
    for (; pos < s.size() && s[pos] != ','; ++pos) {
      if (s[pos] == ' ' || s[pos] == '\t') continue;
      const int d = HexDigit(s[pos]);
      if (d < 0 || ++digits > 2) return false;
      value = value * 16 + d;
    }
    ++pos;  // the comma
    if (digits == 0 && pos >= s.size()) break;
    if (digits == 0) return false;
    out += static_cast<char>(value);
  }
  return true;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

TRegistryText::TRegistryText(std::string bytes, const TCharset& charset, TUpperCaseBuffer upperCase)
    : FCharset(&charset), FUpperCase(upperCase) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
    FEncoding = TEncoding::Utf16;
    FPrefix = bytes.substr(0, 2);
    FUtf16 = std::move(bytes);
    FText = TextFromUnits(Units());
  } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    FEncoding = TEncoding::Utf8Bom;
    FPrefix = bytes.substr(0, 3);
    FText = std::move(bytes);
    FText.erase(0, 3);
  } else {
    FText = std::move(bytes);
  }
  Parse();
}

std::string TRegistryText::Upper(std::string text) const {
  FUpperCase(text.data(), text.size());
  return text;
}

/// The upper-cased components of a key path.
std::vector<std::string> TRegistryText::KeyOf(const std::string& keyPath) const {
  std::vector<std::string> parts = SplitKey(keyPath);
  for (std::string& part : parts) part = Upper(part);
  return parts;
}

namespace {
/// Unit `i` of UTF-16LE bytes.
char16_t UnitOf(std::string_view littleEndian, std::size_t i) {
  return static_cast<char16_t>(static_cast<unsigned char>(littleEndian[2 * i]) |
                               (static_cast<unsigned char>(littleEndian[2 * i + 1]) << 8));
}
}  // namespace

/// The file's UTF-16LE units after the byte-order mark (a last odd byte is no unit).
std::string_view TRegistryText::Units() const {
  return std::string_view(FUtf16).substr(2, (FUtf16.size() - 2) / 2 * 2);
}

/// UTF-16LE units to the charset's text.
std::string TRegistryText::TextFromUnits(std::string_view littleEndian) const {
  const std::size_t count = littleEndian.size() / 2;
  // Appended to, never resized per character: growing the text to the rest's
  // length after each non-ASCII character made the decoding quadratic.
  std::string text;
  text.reserve(count);
  for (std::size_t i = 0; i < count;) {
    // Runs of ASCII, the bulk of any registry file, go straight in, four
    // units a step while they last.
    for (std::uint64_t four; i + 4 <= count; i += 4) {
      std::memcpy(&four, littleEndian.data() + 2 * i, sizeof four);
      if (four & 0xFF80FF80FF80FF80u) break;
      const char bytes[4] = {littleEndian[2 * i], littleEndian[2 * i + 2], littleEndian[2 * i + 4],
                             littleEndian[2 * i + 6]};
      text.append(bytes, 4);
    }
    while (i < count && littleEndian[2 * i + 1] == 0 && static_cast<unsigned char>(littleEndian[2 * i]) < 0x80)
      text += littleEndian[2 * i++];
    if (i == count) break;
    char32_t code = UnitOf(littleEndian, i++);
    if (code >= 0xD800 && code < 0xDC00 && i < count && UnitOf(littleEndian, i) >= 0xDC00 &&
        UnitOf(littleEndian, i) < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (UnitOf(littleEndian, i++) - 0xDC00);
    else if (code >= 0xD800 && code < 0xE000)
      code = '?';  // half a pair
    if (!FCharset->Append(text, code)) text += '?';
  }
  return text;
}

/// The index of the unit that byte `pos` of the text came from (the end for
/// the text's end), found by turning the units into text again: only a write
/// needs it, so the reading keeps no table of it.
std::size_t TRegistryText::UnitAt(std::size_t pos) const {
  const std::string_view units = Units();
  const std::size_t count = units.size() / 2;
  std::size_t bytes = 0;
  std::string scratch;
  for (std::size_t i = 0; i < count;) {
    if (bytes >= pos) return i;
    const std::size_t start = i;
    char32_t code = UnitOf(units, i++);
    if (code >= 0xD800 && code < 0xDC00 && i < count && UnitOf(units, i) >= 0xDC00 && UnitOf(units, i) < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (UnitOf(units, i++) - 0xDC00);
    else if (code >= 0xD800 && code < 0xE000)
      code = '?';
    scratch.clear();
    if (code < 0x80 || !FCharset->Append(scratch, code)) scratch = "?";
    bytes += scratch.size();
    if (bytes > pos) return start;  // inside a character: its first unit
  }
  return count;
}

/// The charset's text as UTF-16 units; a byte that starts no character stands
/// for the code point of its value.
std::u16string TRegistryText::UnitsFromText(const std::string& text) const {
  std::u16string units;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    char32_t code = byte;
    std::size_t n = byte < 0x80 ? 1 : FCharset->Read(text, i, code);
    if (n == 0) {
      code = byte;
      n = 1;
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
std::string TRegistryText::StringFromBytes(const std::string& bytes) const {
  if (FVersion4) return bytes.substr(0, bytes.find('\0'));
  std::size_t count = 0;
  while (2 * count + 1 < bytes.size() && (bytes[2 * count] != 0 || bytes[2 * count + 1] != 0)) ++count;
  return TextFromUnits(std::string_view(bytes).substr(0, 2 * count));
}

/// Reads the data of a value line; `line` moves to the last line a hex value continues on.
bool TRegistryText::ParseData(std::string data, TLine& line, TRecord& record, bool spanOnly) const {
  if (data == "-") {
    record.Deleted = true;
    return true;
  }
  if (!data.empty() && data[0] == '"') {
    std::size_t pos = 0;
    if (!ParseQuoted(data, pos, record.Value.Data)) return false;
    record.Value.Type = TRegType::String;
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
    record.Value.Type = TRegType::Other;
    record.Value.Data.clear();
    for (int b = 0; b < 4; ++b) record.Value.Data += static_cast<char>((number >> (8 * b)) & 0xFF);
    return true;
  }
  if (Upper(data.substr(0, 3)) != "HEX") return false;
  std::size_t colon = data.find(':');
  if (colon == NotFound) return false;
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
  // Only the span is wanted of the values of keys nobody asked for, which
  // may be megabytes of hex: their lines are walked, not gathered.
  std::string hex = TrimBlanks(data.substr(colon + 1));
  bool continued = !hex.empty() && hex.back() == '\\';
  while (continued && line.Next < FText.size()) {
    if (!spanOnly) hex.pop_back();
    line = LineAt(line.Next);
    std::size_t end = line.End;
    while (end > line.Begin && (FText[end - 1] == ' ' || FText[end - 1] == '\t')) --end;
    continued = end > line.Begin && FText[end - 1] == '\\';
    if (!spanOnly) hex.append(FText, line.Begin, end - line.Begin);
  }
  if (spanOnly) return true;
  if (!hex.empty() && hex.back() == '\\') hex.pop_back();
  std::string bytes;
  if (!ParseHexBytes(hex, bytes)) return false;
  if (kind == 1 || kind == 2) {
    record.Value.Type = kind == 1 ? TRegType::String : TRegType::ExpandString;
    record.Value.Data = StringFromBytes(bytes);
  } else {
    record.Value.Type = TRegType::Other;
    record.Value.Data = bytes;
  }
  return true;
}

/// The line that starts at `pos`.
TRegistryText::TLine TRegistryText::LineAt(std::size_t pos) const {
  TLine line;
  line.Begin = pos;
  const char* const text = FText.data();
  const std::size_t size = FText.size();
  // Most lines end at LF: find the next one quickly, then look for an earlier lone CR.
  const void* lf = std::memchr(text + pos, '\n', size - pos);
  std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - text) : size;
  const void* cr = std::memchr(text + pos, '\r', end - pos);
  if (cr) end = static_cast<std::size_t>(static_cast<const char*>(cr) - text);
  line.End = end;
  line.Next = end == size ? end : end + (text[end] == '\r' && end + 1 < size && text[end + 1] == '\n' ? 2 : 1);
  return line;
}

std::string TRegistryText::Trimmed(const TLine& line) const {
  return TrimBlanks(FText.substr(line.Begin, line.End - line.Begin));
}

/// Parses a value line (`line` moves to the last line a hex value continues
/// on); false for a line that holds no value. `spanOnly`: only the lines a
/// value spans matter, not its data.
bool TRegistryText::ParseRecord(TLine& line, TRecord& record, bool spanOnly) const {
  const std::string text = Trimmed(line);
  record.First = line;
  std::size_t pos = 0;
  if (text[0] == '@') {
    pos = 1;
  } else if (!ParseQuoted(text, pos, record.Name)) {
    return false;
  }
  const std::string rest = TrimBlanks(text.substr(pos));
  if (rest.empty() || rest[0] != '=') return false;
  if (!ParseData(TrimBlanks(rest.substr(1)), line, record, spanOnly)) return false;
  record.Name = Upper(record.Name);
  record.Last = line;
  return true;
}

void TRegistryText::Parse() {
  // A line's first and last non-blank character, without copying it.
  auto bounds = [&](const TLine& line, std::size_t& first, std::size_t& end) {
    first = line.Begin, end = line.End;
    while (first < end && (FText[first] == ' ' || FText[first] == '\t')) ++first;
    while (end > first && (FText[end - 1] == ' ' || FText[end - 1] == '\t')) --end;
  };
  std::size_t first = 0, end = 0, pos = 0;
  TLine line;
  for (; pos < FText.size(); pos = line.Next) {
    line = LineAt(pos);
    bounds(line, first, end);
    if (first < end) break;
  }
  if (pos >= FText.size()) return;  // an empty file is an empty registry
  const std::string header = FText.substr(first, end - first);
  FVersion4 = header == Header4;
  if (header != Header5 && !FVersion4) {
    FValid = false;
    return;
  }
  bool inKey = false;
  auto close = [&](std::size_t at) {
    if (inKey) FBlocks.back().BodyEnd = at;
    inKey = false;
  };
  for (pos = line.Next; pos < FText.size(); pos = line.Next) {
    line = LineAt(pos);
    bounds(line, first, end);
    if (first == end || FText[first] == ';') continue;
    if (FText[first] == '[') {
      close(line.Begin);
      if (FText[end - 1] != ']' || end - first < 2 || FText[first + 1] == '-') continue;
      // The hive is the first component; the path is split when a key is asked for.
      std::size_t hive = first + 1;
      while (hive < end - 1 && FText[hive] == '\\') ++hive;
      const std::size_t hiveEnd = std::min(FText.find('\\', hive), end - 1);
      if (hive == hiveEnd) continue;
      const std::string_view name(FText.data() + hive, hiveEnd - hive);
      if (!SameAscii(name, "HKEY_CURRENT_USER") && !SameAscii(name, "HKCU")) continue;
      inKey = true;
      TBlock block{line, first + 1, end - 1, 0, end - 1, line.Next, line.Next};
      while (block.LastEnd > hiveEnd && FText[block.LastEnd - 1] == '\\') --block.LastEnd;
      block.LastBegin = block.LastEnd;
      while (block.LastBegin > block.PathBegin && FText[block.LastBegin - 1] != '\\') --block.LastBegin;
      FBlocks.push_back(block);
      continue;
    }
    // Only a hex value that ends in a continuation mark spans lines; they
    // belong to it whatever they hold.
    if (inKey && FText[end - 1] == '\\') {
      TRecord record;
      ParseRecord(line, record, true);
    }
  }
  close(FText.size());
}

/// The values of a key; null for a key without a block.
const TRegistryText::TKeyValues* TRegistryText::ValuesOf(const std::string& keyPath) const {
  const std::vector<std::string> key = KeyOf(keyPath);
  std::string id;
  for (const std::string& part : key) id += part + "\\";
  std::lock_guard<std::mutex> guard(FParsedKeys->Mutex);
  std::unique_ptr<const TKeyValues>& parsed = FParsedKeys->Values[id];
  if (parsed) return parsed->Found ? parsed.get() : nullptr;
  auto values = std::make_unique<TKeyValues>();
  for (const TBlock& block : FBlocks) {
    const std::string_view path(FText.data() + block.PathBegin, block.PathEnd - block.PathBegin);
    // Most headings name another key: their last component tells, before the
    // whole path is split. (The hive is the last component of the root key.)
    if (!key.empty()) {
      const std::string& last = key.back();
      if (block.LastEnd - block.LastBegin != last.size()) continue;
      if (Upper(FText.substr(block.LastBegin, last.size())) != last) continue;
    }
    std::vector<std::string> parts = KeyOf(std::string(path));
    parts.erase(parts.begin());  // the hive
    if (parts != key) continue;
    values->Found = true;
    values->LastLine = block.Heading;
    for (std::size_t pos = block.BodyBegin; pos < block.BodyEnd;) {
      TLine line = LineAt(pos);
      pos = line.Next;
      const std::size_t begin = FText.find_first_not_of(" \t", line.Begin);
      if (begin >= line.End || FText[begin] == ';') continue;
      TRecord record;
      const bool isValue = ParseRecord(line, record);
      pos = line.Next;
      if (!isValue) continue;
      values->LastLine = record.Last;
      values->LastRecord[record.Name] = values->Records.size();
      values->Records.push_back(std::move(record));
    }
  }
  parsed = std::move(values);
  return parsed->Found ? parsed.get() : nullptr;
}

std::optional<TRegValue> TRegistryText::Value(const std::string& keyPath, const std::string& name) const {
  if (!FValid) return std::nullopt;
  const TKeyValues* values = ValuesOf(keyPath);
  if (!values) return std::nullopt;
  const auto found = values->LastRecord.find(Upper(name));
  if (found == values->LastRecord.end() || values->Records[found->second].Deleted) return std::nullopt;
  return values->Records[found->second].Value;
}

/// The file's text with `count` characters at `pos` replaced by `insert`, in
/// the file's own encoding.
std::string TRegistryText::Encode(std::size_t pos, std::size_t count, const std::string& insert) const {
  if (FEncoding != TEncoding::Utf16) {
    std::string text = FText;
    text.replace(pos, count, insert);
    return FPrefix + text;
  }
  std::u16string units(Units().size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) units[i] = UnitOf(Units(), i);
  const std::size_t first = UnitAt(pos), last = count == 0 ? first : UnitAt(pos + count);
  units.replace(first, last - first, UnitsFromText(insert));
  std::string bytes = FPrefix;
  bytes.reserve(FPrefix.size() + 2 * units.size());
  for (char16_t u : units) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

/// A value line. Text with a line break cannot stand between quotes, so it is
/// stored in the hex form of a string value, which reads back the same.
std::string TRegistryText::ValueLine(const std::string& name, const std::string& text) const {
  std::string line = name.empty() ? "@=" : Quote(name) + "=";
  if (text.find_first_of("\r\n") == NotFound) return line + Quote(text);
  static const char digits[] = "0123456789abcdef";
  line += "hex(1):";
  auto addByte = [&](unsigned char b, bool first) {
    if (!first) line += ',';
    line += digits[b >> 4];
    line += digits[b & 15];
  };
  bool first = true;
  if (FVersion4) {
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

std::optional<std::string> TRegistryText::WithString(const std::string& keyPath, const std::string& name,
                                                     const std::string& value) const {
  if (!FValid || name.find_first_of(std::string("\r\n\0", 3)) != NotFound) return std::nullopt;
  const std::string text = value.substr(0, value.find('\0'));  // a string ends at its first zero
  std::string eol = "\r\n";  // the text's own line break, where it has one
  if (const std::size_t at = FText.find_first_of("\r\n"); at != NotFound)
    eol = FText.compare(at, 2, "\r\n") == 0 ? "\r\n" : FText.substr(at, 1);
  const std::string valueLine = ValueLine(name, text);
  std::string keyLine = "[HKEY_CURRENT_USER";
  for (const std::string& part : SplitKey(keyPath)) keyLine += "\\" + part;
  keyLine += "]";

  std::size_t pos = 0, count = 0;
  std::string insert;
  const TKeyValues* values = ValuesOf(keyPath);
  const TRecord* record = nullptr;
  if (values)
    if (const auto found = values->LastRecord.find(Upper(name)); found != values->LastRecord.end())
      record = &values->Records[found->second];

  if (record) {
    pos = record->First.Begin;
    count = record->Last.End - pos;
    insert = valueLine;
  } else if (values) {
    const TLine& line = values->LastLine;
    pos = line.Next;
    insert = (line.Next == line.End ? eol : "") + valueLine + eol;
    // A hex line that ends in a continuation mark would take the new line in:
    // a blank line ends the value first.
    const std::string last = Trimmed(line);
    if (!last.empty() && last.back() == '\\') insert = (line.Next == line.End ? eol : "") + eol + valueLine + eol;
  } else {
    pos = FText.size();
    bool blankLine = false;
    if (FText.find_first_not_of(" \t\r\n") == NotFound) {
      // A missing or blank file becomes a new registry file.
      insert = std::string(Header5) + eol;
      pos = 0;
      count = FText.size();
    } else {
      // The text's last line: the one whose line break ends the text, or that has none.
      std::size_t end = FText.size();
      if (FText.ends_with("\r\n"))
        end -= 2;
      else if (FText.back() == '\r' || FText.back() == '\n')
        end -= 1;
      const std::size_t begin = FText.find_last_of("\r\n", end == 0 ? NotFound : end - 1);
      const TLine last = {begin == NotFound || end == 0 ? 0 : begin + 1, end, FText.size()};
      if (last.Next == last.End) insert = eol;
      blankLine = last.Next > last.End && last.End == last.Begin;
    }
    if (!blankLine) insert += eol;
    insert += keyLine + eol + valueLine + eol;
  }
  return Encode(pos, count, insert);
}
