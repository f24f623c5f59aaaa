// INI files read and written the way the Windows profile functions do it, so
// that a file gives the same answers in both builds:
// - lines end at CR LF, LF or a lone CR; blank lines mean nothing;
// - "[name]" starts a section; the name ends at the line's last "]", text
//   after it is ignored, and a line "[name" without "]" is an entry line;
//   only the first section of a name counts;
// - an entry line is NAME=VALUE, both trimmed; a line without "=" is a name
//   without value, found but never listed and read as empty; lines starting
//   with ";" are not listed either; lines before the first section form the
//   section with the empty name;
// - names are found without regard to case; the first entry of a name wins.
// Writing changes only the one line it stores (or adds one), everything else
// stays byte for byte, and new lines take the file's own line ending. A file
// is parsed once while it stays the same, and writers take turns.
#include "Bibliothek/Plattform/uOsIni.h"
#include "Bibliothek/Plattform/uOsFiles.h"

#include "Bibliothek/Plattform/uOsIniPosixIo.h"
#include "Bibliothek/Plattform/uOsIniRules.h"
#include "Bibliothek/Plattform/uOsLocale.h"

#include <unordered_map>

namespace {

constexpr std::size_t kValueMax = 2047;     // a 2048-byte buffer with its zero
constexpr std::size_t kKeyListMax = 16382;  // a 16384-byte list with its two closing zeros
constexpr std::size_t kNone = std::string::npos;

struct TIniLine {
  std::size_t Begin = 0, End = 0, Next = 0;  // content [Begin, End), line break [End, Next)
};

struct TIniEntry {
  std::size_t Line = 0;
  std::string Name;  // trimmed, as written
  bool HasValue = false;
  std::string Value;  // trimmed
};

struct TIniSection {
  std::string Name;
  std::size_t LastLine = kNone;  // last non-blank line, the heading included
  std::vector<TIniEntry> Entries;
  std::unordered_map<std::string, std::size_t> EntryIndex;  // upper-cased name -> its first entry
};

struct TIniText {
  std::string Text;
  std::size_t BodyStart = 0;  // after a UTF-8 byte-order mark
  std::vector<TIniLine> Lines;
  std::vector<TIniSection> Sections;  // [0]: the lines before the first heading
  std::unordered_map<std::string, std::size_t> SectionIndex;  // upper-cased name -> its first heading's section
};

std::string Upper(std::string text) {
  OsUpperCaseBuffer(text.data(), text.size());
  return text;
}

TIniText Parse(std::string text) {
  TIniText ini;
  ini.Text = std::move(text);
  const std::string& t = ini.Text;
  if (t.compare(0, 3, "\xEF\xBB\xBF") == 0) ini.BodyStart = 3;
  for (std::size_t pos = ini.BodyStart; pos < t.size();) {
    TIniLine line;
    line.Begin = pos;
    while (pos < t.size() && t[pos] != '\r' && t[pos] != '\n') ++pos;
    line.End = pos;
    if (pos < t.size()) pos += (t[pos] == '\r' && pos + 1 < t.size() && t[pos + 1] == '\n') ? 2 : 1;
    line.Next = pos;
    ini.Lines.push_back(line);
  }

  ini.Sections.emplace_back();
  for (std::size_t i = 0; i < ini.Lines.size(); ++i) {
    const std::string content = IniTrim(t.substr(ini.Lines[i].Begin, ini.Lines[i].End - ini.Lines[i].Begin));
    if (content.empty()) continue;
    const std::size_t close = content[0] == '[' ? content.rfind(']') : kNone;
    if (close != kNone) {
      TIniSection section;
      section.Name = IniTrim(content.substr(1, close - 1));
      section.LastLine = i;
      ini.Sections.push_back(std::move(section));
      continue;
    }
    TIniEntry entry;
    entry.Line = i;
    const std::size_t equals = content.find('=');
    entry.Name = IniTrim(content.substr(0, equals));
    if (equals != kNone) {
      entry.HasValue = true;
      entry.Value = IniTrim(content.substr(equals + 1));
    }
    TIniSection& section = ini.Sections.back();
    section.EntryIndex.emplace(Upper(entry.Name), section.Entries.size());
    section.Entries.push_back(std::move(entry));
    section.LastLine = i;
  }
  // Looking names up by index keeps a file with many entries linear work.
  for (std::size_t i = 1; i < ini.Sections.size(); ++i) ini.SectionIndex.emplace(Upper(ini.Sections[i].Name), i);
  return ini;
}

/// The first section of that name; the lines before the first heading count
/// only when there are some.
const TIniSection* FindSection(const TIniText& ini, const std::string& name) {
  const std::string wanted = Upper(IniTrim(name));
  if (wanted.empty() && ini.Sections[0].LastLine != kNone) return &ini.Sections[0];
  const auto found = ini.SectionIndex.find(wanted);
  return found == ini.SectionIndex.end() ? nullptr : &ini.Sections[found->second];
}

const TIniEntry* FindEntry(const TIniSection& section, const std::string& key) {
  const auto found = section.EntryIndex.find(Upper(IniTrim(key)));
  return found == section.EntryIndex.end() ? nullptr : &section.Entries[found->second];
}

struct TIniFile {
  bool Exists = false;
  TIniText Ini;
};

/// The parsed file; a missing or unreadable file reads as an empty one.
std::shared_ptr<const TIniFile> Load(const std::string& file, bool* readable = nullptr) {
  static TPosixParsedFiles<TIniFile> files;
  std::shared_ptr<const TIniFile> parsed =
      files.Get(OsNativePath(file), [](const std::string& bytes, bool exists) { return TIniFile{exists, Parse(bytes)}; });
  if (readable) *readable = parsed != nullptr;
  if (!parsed) {
    static const auto empty = std::make_shared<const TIniFile>(TIniFile{false, Parse(std::string())});
    return empty;
  }
  return parsed;
}

/// The line break the file already uses; CR LF for a file that has none.
std::string LineBreakOf(const TIniText& ini) {
  for (const TIniLine& line : ini.Lines)
    if (line.Next > line.End) return ini.Text.substr(line.End, line.Next - line.End);
  return "\r\n";
}

}  // namespace

std::vector<std::string> OsIniKeys(const std::string& file, const std::string& section) {
  std::vector<std::string> keys;
  const std::shared_ptr<const TIniFile> loaded = Load(file);
  const TIniText& ini = loaded->Ini;
  const TIniSection* found = FindSection(ini, section);
  if (!found) return keys;
  std::size_t used = 0;
  for (const TIniEntry& entry : found->Entries) {
    if (!entry.HasValue || entry.Name.empty() || entry.Name[0] == ';') continue;
    // The platform's list buffer ends here; a name cut by it would be wrong.
    if (used + entry.Name.size() + 1 >= kKeyListMax) break;
    used += entry.Name.size() + 1;
    keys.push_back(entry.Name);
  }
  return keys;
}

std::string OsIniValue(const std::string& file, const std::string& section, const std::string& key) {
  const std::shared_ptr<const TIniFile> loaded = Load(file);
  const TIniText& ini = loaded->Ini;
  const TIniSection* found = FindSection(ini, section);
  const TIniEntry* entry = found ? FindEntry(*found, key) : nullptr;
  if (!entry || !entry->HasValue) return std::string();
  std::string value = entry->Value;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  if (value.size() > kValueMax) value.resize(kValueMax);
  return value;
}

bool OsIniWrite(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value) {
  if (!IniEntryStorable(section, key, value)) return false;
  const TPosixFileWriteLock lock(OsNativePath(file));
  if (!lock.Held()) return false;
  bool readable = false;
  const std::shared_ptr<const TIniFile> loaded = Load(file, &readable);
  if (!readable) return false;
  const bool exists = loaded->Exists;
  const TIniText& ini = loaded->Ini;

  const std::string eol = LineBreakOf(ini);
  const std::string name = IniTrim(key);
  const std::string text = IniTrim(value);
  std::string result = ini.Text;

  // Text to put after a given line: it needs a line break first when the line
  // is the file's last and has none.
  auto insertAfter = [&](std::size_t lineIndex, const std::string& lines) {
    const TIniLine& line = ini.Lines[lineIndex];
    result.insert(line.Next, line.Next == line.End ? eol + lines : lines);
  };

  const TIniSection* found = FindSection(ini, section);
  if (found) {
    if (const TIniEntry* entry = FindEntry(*found, name)) {
      const TIniLine& line = ini.Lines[entry->Line];
      result.replace(line.Begin, line.End - line.Begin, entry->Name + "=" + text);
    } else {
      insertAfter(found->LastLine, name + "=" + text + eol);
    }
  } else if (IniTrim(section).empty()) {
    // Entries without a section live before the first heading.
    result.insert(ini.BodyStart, name + "=" + text + eol);
  } else {
    if (!result.empty() && result.back() != '\n' && result.back() != '\r') result += eol;
    result += "[" + IniTrim(section) + "]" + eol + name + "=" + text + eol;
  }

  if (exists && result == ini.Text) return true;
  return PosixReplaceFile(OsNativePath(file), result);
}

void OsIniFlush(const std::string&) {}
