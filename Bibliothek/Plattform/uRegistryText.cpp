// Portable: the registry file's parser and editor (uRegistryText.h), in both builds.
#include "Bibliothek/Plattform/uRegistryText.h"

namespace {

constexpr std::size_t kNone = std::string::npos;
const char* const kHeader5 = "Windows Registry Editor Version 5.00";
const char* const kHeader4 = "REGEDIT4";

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

/// The index of a value: the key's length first, so that no key and name pair
/// reads as another.
std::string RecordId(const std::string& key, const std::string& name) {
  return std::to_string(key.size()) + ":" + key + name;
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

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

TRegistryText::TRegistryText(const std::string& bytes, const TCharset& charset) : FCharset(&charset) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) {
    FEncoding = TEncoding::Utf16;
    FPrefix = bytes.substr(0, 2);
    FUnits.reserve(bytes.size() / 2);
    for (std::size_t k = 2; k + 1 < bytes.size(); k += 2)
      FUnits += static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                      (static_cast<unsigned char>(bytes[k + 1]) << 8));
    FText = TextFromUnits(FUnits, &FUnitAt);
  } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    FEncoding = TEncoding::Utf8Bom;
    FPrefix = bytes.substr(0, 3);
    FText = bytes.substr(3);
  } else {
    FText = bytes;
  }
  Parse();
}

std::string TRegistryText::Upper(std::string text) const {
  OsUpperCaseBuffer(text.data(), text.size());
  return text;
}

/// The upper-cased components of a key path, each followed by "\".
std::string TRegistryText::KeyOf(const std::string& keyPath) const {
  std::string key;
  for (const std::string& part : SplitKey(keyPath)) key += Upper(part) + "\\";
  return key;
}

/// UTF-16 units to the charset's text; `unitAt`, when given, gets for every
/// byte of the text the index of the unit it came from, and the end.
std::string TRegistryText::TextFromUnits(const std::u16string& units, std::vector<std::size_t>* unitAt) const {
  std::string text;
  text.reserve(units.size());
  if (unitAt) unitAt->reserve(units.size() + 1);
  for (std::size_t i = 0; i < units.size();) {
    const std::size_t start = i;
    char32_t code = units[i++];
    if (code >= 0xD800 && code < 0xDC00 && i < units.size() && units[i] >= 0xDC00 && units[i] < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i++] - 0xDC00);
    else if (code >= 0xD800 && code < 0xE000)
      code = '?';  // half a pair
    const std::size_t before = text.size();
    if (code < 0x80)
      text += static_cast<char>(code);
    else if (!FCharset->Append(text, code))
      text += '?';
    if (unitAt) unitAt->insert(unitAt->end(), text.size() - before, start);
  }
  if (unitAt) unitAt->push_back(units.size());
  return text;
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
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) break;
    units += unit;
  }
  return TextFromUnits(units, nullptr);
}

std::string TRegistryText::LineText(std::size_t i) const {
  return FText.substr(FLines[i].Begin, FLines[i].End - FLines[i].Begin);
}

/// Reads the data of a value line; `i` moves to the last line a hex value continues on.
bool TRegistryText::ParseData(std::string data, std::size_t& i, TRecord& record) const {
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
  while (!hex.empty() && hex.back() == '\\' && i + 1 < FLines.size()) {
    hex.pop_back();
    ++i;
    const TLine& line = FLines[i];
    std::size_t end = line.End;
    while (end > line.Begin && (FText[end - 1] == ' ' || FText[end - 1] == '\t')) --end;
    hex.append(FText, line.Begin, end - line.Begin);
  }
  if (!hex.empty() && hex.back() == '\\') hex.pop_back();
  std::string bytes;
  if (!ParseHexBytes(hex, bytes)) return false;
  if (kind == 1 || kind == 2) {
    record.Value.Type = kind == 1 ? TOsRegType::String : TOsRegType::ExpandString;
    record.Value.Data = StringFromBytes(bytes);
  } else {
    record.Value.Type = TOsRegType::Other;
    record.Value.Data = bytes;
  }
  return true;
}

void TRegistryText::Parse() {
  FLines = SplitTextLines(FText, 0);
  std::size_t i = 0;
  while (i < FLines.size() && TrimBlanks(LineText(i)).empty()) ++i;
  if (i == FLines.size()) return;  // an empty file is an empty registry
  const std::string header = TrimBlanks(LineText(i));
  FVersion4 = header == kHeader4;
  if (header != kHeader5 && !FVersion4) {
    FValid = false;
    return;
  }
  bool inKey = false;
  std::string key;
  for (++i; i < FLines.size(); ++i) {
    const std::string line = TrimBlanks(LineText(i));
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      inKey = false;
      if (line.back() != ']' || line.size() < 2 || line[1] == '-') continue;
      const std::vector<std::string> parts = SplitKey(line.substr(1, line.size() - 2));
      if (parts.empty()) continue;
      const std::string hive = Upper(parts[0]);
      if (hive != "HKEY_CURRENT_USER" && hive != "HKCU") continue;
      inKey = true;
      key.clear();
      for (std::size_t k = 1; k < parts.size(); ++k) key += Upper(parts[k]) + "\\";
      FLastBlockLine[key] = i;
      continue;
    }
    if (!inKey) continue;
    TRecord record;
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
    if (!ParseData(TrimBlanks(rest.substr(1)), last, record)) {
      i = last;
      continue;
    }
    record.Key = key;
    record.Name = Upper(record.Name);
    record.LastLine = last;
    FLastBlockLine[key] = last;
    FLastRecord[RecordId(record.Key, record.Name)] = FRecords.size();
    FRecords.push_back(std::move(record));
    i = last;
  }
}

std::optional<TOsRegValue> TRegistryText::Value(const std::string& keyPath, const std::string& name) const {
  if (!FValid) return std::nullopt;
  const auto found = FLastRecord.find(RecordId(KeyOf(keyPath), Upper(name)));
  if (found == FLastRecord.end() || FRecords[found->second].Deleted) return std::nullopt;
  return FRecords[found->second].Value;
}

/// The file's text with `count` characters at `pos` replaced by `insert`, in
/// the file's own encoding.
std::string TRegistryText::Encode(std::size_t pos, std::size_t count, const std::string& insert) const {
  if (FEncoding != TEncoding::Utf16) {
    std::string text = FText;
    text.replace(pos, count, insert);
    return FPrefix + text;
  }
  std::u16string units = FUnits;
  const std::size_t first = FUnitAt[pos], last = FUnitAt[pos + count];
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
  if (text.find_first_of("\r\n") == kNone) return line + Quote(text);
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
  if (!FValid || name.find_first_of(std::string("\r\n\0", 3)) != kNone) return std::nullopt;
  const std::string text = value.substr(0, value.find('\0'));  // a string ends at its first zero
  const std::vector<std::string> parts = SplitKey(keyPath);
  const std::string key = KeyOf(keyPath);
  std::string eol = "\r\n";
  for (const TLine& line : FLines)
    if (line.Next > line.End) {
      eol = FText.substr(line.End, line.Next - line.End);
      break;
    }
  const std::string valueLine = ValueLine(name, text);
  std::string keyLine = "[HKEY_CURRENT_USER";
  for (const std::string& part : parts) keyLine += "\\" + part;
  keyLine += "]";

  std::size_t pos = 0, count = 0;
  std::string insert;
  const auto record = FLastRecord.find(RecordId(key, Upper(name)));
  const auto block = FLastBlockLine.find(key);

  if (record != FLastRecord.end()) {
    pos = FLines[FRecords[record->second].FirstLine].Begin;
    count = FLines[FRecords[record->second].LastLine].End - pos;
    insert = valueLine;
  } else if (block != FLastBlockLine.end()) {
    const TLine& line = FLines[block->second];
    pos = line.Next;
    insert = (line.Next == line.End ? eol : "") + valueLine + eol;
    // A hex line that ends in a continuation mark would take the new line in:
    // a blank line ends the value first.
    const std::string last = TrimBlanks(LineText(block->second));
    if (!last.empty() && last.back() == '\\') insert = (line.Next == line.End ? eol : "") + eol + valueLine + eol;
  } else {
    pos = FText.size();
    bool blankLine = false;
    if (FText.find_first_not_of(" \t\r\n") == kNone) {
      // A missing or blank file becomes a new registry file.
      insert = std::string(kHeader5) + eol;
      pos = 0;
      count = FText.size();
    } else {
      const TLine& last = FLines.back();
      if (last.Next == last.End) insert = eol;
      blankLine = last.Next > last.End && last.End == last.Begin;
    }
    if (!blankLine) insert += eol;
    insert += keyLine + eol + valueLine + eol;
  }
  return Encode(pos, count, insert);
}
