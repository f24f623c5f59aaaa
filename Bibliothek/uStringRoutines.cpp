#include "Bibliothek/uStringRoutines.h"

#include <charconv>
#include <vector>

#include "Bibliothek/Plattform/uOsLocale.h"

TCharSet CharSet(std::string_view chars) {
  TCharSet set;
  for (const char c : chars) set.set(static_cast<unsigned char>(c));
  return set;
}

TCharSet DigitSet() { return CharSet("0123456789"); }

namespace {
bool InSet(const TCharSet& set, char c) { return set.test(static_cast<unsigned char>(c)); }

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

/// The maximal runs of characters outside `delimiters`, in order.
std::vector<std::string_view> Words(std::string_view text, const TCharSet& delimiters) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && InSet(delimiters, text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !InSet(delimiters, text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}
}  // namespace

// --- 1-based helpers ---------------------------------------------------------

int Length(std::string_view text) { return static_cast<int>(text.size()); }

int Pos(std::string_view sub, std::string_view text) {
  if (sub.empty()) return 0;
  const auto at = text.find(sub);
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

int PosNoCase(std::string_view sub, std::string_view text) {
  // The mapping keeps the length, so the position holds for the original text.
  return Pos(UpperCase(sub), UpperCase(text));
}

std::string Copy(std::string_view text, int index, int count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > Length(text)) return std::string();
  const std::size_t start = static_cast<std::size_t>(index - 1);
  return std::string(text.substr(start, static_cast<std::size_t>(count)));
}

void Delete(std::string& text, int index, int count) {
  if (index < 1 || index > Length(text) || count <= 0) return;
  text.erase(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count));
}

void Insert(std::string_view sub, std::string& text, int index) {
  if (index < 1) index = 1;
  if (index > Length(text) + 1) index = Length(text) + 1;
  text.insert(static_cast<std::size_t>(index - 1), sub);
}

// --- case and trimming --------------------------------------------------------

std::string UpperCase(std::string_view text) {
  std::string result(text);
  if (!result.empty()) OsUpperCaseBuffer(result.data(), result.size());
  return result;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}

std::string Trim(std::string_view text) {
  std::size_t first = 0, last = text.size();
  while (first < last && IsBlankOrControl(text[first])) ++first;
  while (last > first && IsBlankOrControl(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

// --- word and field routines ----------------------------------------------------

int KeepChars(std::string& text, const TCharSet& allowed) {
  std::string kept;
  kept.reserve(text.size());
  for (const char c : text)
    if (InSet(allowed, c)) kept += c;
  const int removed = Length(text) - Length(kept);
  text.swap(kept);
  return removed;
}

int WordCount(std::string text, const TCharSet& delimiters) {
  return static_cast<int>(Words(text, delimiters).size());
}

std::string WordAt(std::string text, const TCharSet& delimiters, int n) {
  if (n < 1) return std::string();
  const std::string trimmed = Trim(text);
  const auto words = Words(trimmed, delimiters);
  if (static_cast<std::size_t>(n) > words.size()) return std::string();
  return std::string(words[static_cast<std::size_t>(n - 1)]);
}

std::string FieldAt(std::string text, const std::string& separator, int n) {
  text = Trim(text);
  std::string result;
  int j = 1;
  int p = PosNoCase(separator, text);
  while (p != 0 && n >= 1) {
    if (p == 1) {
      // A separator at the start (leading, or the surplus of a run) gives no field.
      Delete(text, 1, Length(separator));
    } else if (j == n) {
      result = Copy(text, 1, p - 1);
      break;
    } else {
      Delete(text, 1, p + Length(separator) - 1);
      ++j;
    }
    p = PosNoCase(separator, text);
  }
  if (result.empty() && !text.empty() && j == n) result = text;
  return result;
}

std::string DeleteCopy(const std::string& text, int start, int count) {
  std::string result = text;
  Delete(result, start, count);
  return result;
}

// The routines hold no state.
std::optional<long long> ReadInteger(std::string_view text, long long least, long long most, bool plusAllowed) {
  // from_chars takes a "-" but no "+", and never a second sign.
  if (plusAllowed && !text.empty() && text[0] == '+') {
    text.remove_prefix(1);
    if (text.empty() || text[0] == '-') return std::nullopt;
  }
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < least || value > most) return std::nullopt;
  return value;
}

void StartupStringRoutines() {}
void ShutdownStringRoutines() {}
