// Portable: the INI text's parser and editor (uIniText.h), in both builds.
#include "Bibliothek/Textformate/uIniText.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t ValueMax = 2047;     // a 2048-byte buffer with its zero
constexpr std::size_t KeyListMax = 16382;  // a 16384-byte list with its two closing zeros
constexpr std::size_t NotFound = std::string::npos;

}  // namespace

std::string IniTrim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && IniIsBlank(text[first])) ++first;
  while (last > first && IniIsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool IniEntryStorable(const std::string& section, const std::string& key, const std::string& value) {
  for (const std::string* s : {&section, &key, &value})
    if (s->find_first_of("\r\n") != std::string::npos) return false;
  if (section.find(']') != std::string::npos) return false;
  const std::string name = IniTrim(key);
  return !name.empty() && name.find('=') == std::string::npos && name[0] != ';' && name[0] != '[';
}

std::vector<TTextLine> SplitTextLines(const std::string& text, std::size_t from) {
  std::vector<TTextLine> lines;
  lines.reserve(static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())), text.end(), '\n')) + 1);
  for (std::size_t pos = from; pos < text.size();) {
    TTextLine line;
    line.Begin = pos;
    while (pos < text.size() && text[pos] != '\r' && text[pos] != '\n') ++pos;
    line.End = pos;
    if (pos < text.size()) pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
    line.Next = pos;
    lines.push_back(line);
  }
  return lines;
}

TIniText::TIniText(std::string text, TUpperCaseBuffer upperCase) : FText(std::move(text)), FUpperCase(upperCase) {
  const std::string& t = FText;
  if (t.compare(0, 3, "\xEF\xBB\xBF") == 0) FBodyStart = 3;
  FLines = SplitTextLines(t, FBodyStart);

  FSections.emplace_back();
  FEntries.reserve(FLines.size());  // at most one a line, and never moved while the list grows
  // Names are upper-cased through a table of the mapping's answers: a call
  // per name added up for a file with thousands of them.
  char upper[256];
  for (int c = 0; c < 256; ++c) upper[c] = static_cast<char>(c);
  FUpperCase(upper, sizeof upper);
  // Trimmed ranges of the text, so that a line costs no copies but its name and value.
  auto trim = [&](std::size_t& first, std::size_t& end) {
    while (first < end && IniIsBlank(t[first])) ++first;
    while (end > first && IniIsBlank(t[end - 1])) --end;
  };
  for (std::size_t i = 0; i < FLines.size(); ++i) {
    std::size_t first = FLines[i].Begin, end = FLines[i].End;
    trim(first, end);
    if (first == end) continue;
    const std::size_t close = t[first] == '[' ? t.rfind(']', end - 1) : NotFound;
    if (close != NotFound && close > first) {
      TSection section;
      section.Name = IniTrim(t.substr(first + 1, close - first - 1));
      section.LastLine = i;
      section.Begin = section.End = FEntries.size();
      FSections.push_back(std::move(section));
      continue;
    }
    TEntry entry;
    entry.Line = i;
    const void* found = std::memchr(t.data() + first, '=', end - first);
    const std::size_t equals = found ? static_cast<std::size_t>(static_cast<const char*>(found) - t.data()) : end;
    std::size_t nameEnd = equals, valueBegin = equals + 1, valueEnd = end;
    std::size_t nameBegin = first;
    trim(nameBegin, nameEnd);
    entry.Name.assign(t, nameBegin, nameEnd - nameBegin);
    if (found) {
      entry.HasValue = true;
      trim(valueBegin, valueEnd);
      entry.Value.assign(t, valueBegin, valueEnd - valueBegin);
    }
    TSection& section = FSections.back();
    FEntries.push_back(std::move(entry));
    section.End = FEntries.size();
    section.LastLine = i;
  }
  // Looking names up by index keeps a file with many entries linear work;
  // each index is sized once, for its section's entries.
  for (TSection& section : FSections) {
    section.EntryIndex.reserve(section.End - section.Begin);
    std::string key;
    for (std::size_t e = section.Begin; e < section.End; ++e) {
      key = FEntries[e].Name;
      for (char& c : key) c = upper[static_cast<unsigned char>(c)];
      FEntries[e].First = section.EntryIndex.emplace(key, e).first->second;
    }
  }
  for (std::size_t i = 1; i < FSections.size(); ++i) FSectionIndex.emplace(Upper(FSections[i].Name), i);
}

std::string TIniText::Upper(std::string text) const {
  FUpperCase(text.data(), text.size());
  return text;
}

/// The first section of that name; the lines before the first heading count
/// only when there are some.
const TIniText::TSection* TIniText::FindSection(const std::string& name) const {
  const std::string wanted = Upper(IniTrim(name));
  if (wanted.empty() && FSections[0].LastLine != NotFound) return &FSections[0];
  const auto found = FSectionIndex.find(wanted);
  return found == FSectionIndex.end() ? nullptr : &FSections[found->second];
}

const TIniText::TEntry* TIniText::FindEntry(const TSection& section, const std::string& key) const {
  const auto found = section.EntryIndex.find(Upper(IniTrim(key)));
  return found == section.EntryIndex.end() ? nullptr : &FEntries[found->second];
}

/// The line break the text already uses; CR LF for a text that has none.
std::string TIniText::LineBreak() const {
  for (const TLine& line : FLines)
    if (line.Next > line.End) return FText.substr(line.End, line.Next - line.End);
  return "\r\n";
}

std::vector<std::string> TIniText::Keys(const std::string& section) const {
  std::vector<std::string> keys;
  for (const TEntry* entry : Listed(section)) keys.push_back(entry->Name);
  return keys;
}

/// The entries a key list names, in file order.
std::vector<const TIniText::TEntry*> TIniText::Listed(const std::string& section) const {
  std::vector<const TEntry*> listed;
  const TSection* found = FindSection(section);
  if (!found) return listed;
  std::size_t used = 0;
  for (std::size_t i = found->Begin; i < found->End; ++i) {
    const TEntry& entry = FEntries[i];
    if (!entry.HasValue || entry.Name.empty() || entry.Name[0] == ';') continue;
    // The platform's list buffer ends here; a name cut by it would be wrong.
    if (used + entry.Name.size() + 1 >= KeyListMax) break;
    used += entry.Name.size() + 1;
    listed.push_back(&entry);
  }
  return listed;
}

std::string TIniText::Value(const std::string& section, const std::string& key) const {
  const TSection* found = FindSection(section);
  const TEntry* entry = found ? FindEntry(*found, key) : nullptr;
  return entry ? Answer(*entry) : std::string();
}

/// An entry's value as a reader gets it.
std::string TIniText::Answer(const TEntry& entry) {
  if (!entry.HasValue) return std::string();
  std::string value = entry.Value;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  if (value.size() > ValueMax) value.resize(ValueMax);
  return value;
}

std::shared_ptr<const std::vector<std::pair<std::string, std::string>>> TIniText::Entries(
    const std::string& section) const {
  const TSection* found = FindSection(section);
  std::lock_guard<std::mutex> guard(FEntryLists->Mutex);
  auto& list = FEntryLists->Lists[found];
  if (list) return list;
  auto entries = std::make_shared<std::vector<std::pair<std::string, std::string>>>();
  if (found) {
    const std::vector<const TEntry*> listed = Listed(section);
    entries->reserve(listed.size());
    // A name answers with its first entry's value.
    for (const TEntry* entry : listed) entries->emplace_back(entry->Name, Answer(FEntries[entry->First]));
  }
  list = std::move(entries);
  return list;
}

std::string TIniText::Stored(const std::string& section, const std::string& key, const std::string& value) const {
  const std::string eol = LineBreak();
  const std::string name = IniTrim(key);
  const std::string text = IniTrim(value);
  std::string result = FText;

  // Text to put after a given line: it needs a line break first when the line
  // is the file's last and has none.
  auto insertAfter = [&](std::size_t lineIndex, const std::string& lines) {
    const TLine& line = FLines[lineIndex];
    result.insert(line.Next, line.Next == line.End ? eol + lines : lines);
  };

  const TSection* found = FindSection(section);
  if (found) {
    if (const TEntry* entry = FindEntry(*found, name)) {
      const TLine& line = FLines[entry->Line];
      result.replace(line.Begin, line.End - line.Begin, entry->Name + "=" + text);
    } else {
      insertAfter(found->LastLine, name + "=" + text + eol);
    }
  } else if (IniTrim(section).empty()) {
    // Entries without a section live before the first heading.
    result.insert(FBodyStart, name + "=" + text + eol);
  } else {
    if (!result.empty() && result.back() != '\n' && result.back() != '\r') result += eol;
    result += "[" + IniTrim(section) + "]" + eol + name + "=" + text + eol;
  }
  return result;
}
