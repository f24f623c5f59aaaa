#pragma once
// Private to uOsIni-*.cpp: the rules both implementations share, so that the
// native and the Windows build trim and refuse the same things.
#include <string>

/// Blank as the profile functions see it: white space and the old end-of-file mark ^Z.
inline bool IniIsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1A';
}

inline std::string IniTrim(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && IniIsBlank(text[first])) ++first;
  while (last > first && IniIsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

/// False for an entry that cannot be stored so that it reads back as written:
/// a line break anywhere would start new lines (a forged entry or section), a
/// "]" ends the section name early, a key holding "=" or starting with ";" or
/// "[" would be read as another key, a comment or a section heading.
inline bool IniEntryStorable(const std::string& section, const std::string& key, const std::string& value) {
  for (const std::string* s : {&section, &key, &value})
    if (s->find_first_of("\r\n") != std::string::npos) return false;
  if (section.find(']') != std::string::npos) return false;
  const std::string name = IniTrim(key);
  return !name.empty() && name.find('=') == std::string::npos && name[0] != ';' && name[0] != '[';
}
