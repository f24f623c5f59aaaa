// The INI reader and writer, and the registry file's reader and writer, on any
// bytes. The first byte picks the file kind; the rest is the file. Properties:
// nothing crashes, values keep their limits, a section read whole agrees with
// its keys read one by one, a write stores exactly what was written and leaves
// the other values of its section or key as they were, in a registry file of
// bytes and in the same text as UTF-16.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Bibliothek/Plattform/uOsIni.h"
#include "Bibliothek/Plattform/uOsLocale.h"
#include "Bibliothek/Plattform/uOsRegistry.h"
#include "Bibliothek/Textformate/uRegistryText.h"
#include "test/fuzz/uFuzzSupport.h"

namespace {
// Values the writers get: plain, with blanks and quotes, with a line break
// (the registry's hex form), with bytes above 127.
const char* const ValueTexts[] = {"v", "c:\\logs\\\"a b\"", "a\nb", ("ge\xF6" "ffnet"), ""};

void FuzzIni(const std::string& text, const std::string& value) {
  const std::string file = FuzzFolder() + "f.ini";
  WriteBytes(file, text);
  const std::vector<std::string> before = OsIniKeys(file, "S");
  std::vector<std::string> values;
  for (const std::string& key : before) {
    values.push_back(OsIniValue(file, "S", key));
    FUZZ_CHECK(values.back().size() <= 2047, "INI value within its buffer");
  }
  const auto entries = OsIniEntries(file, "S");
  FUZZ_CHECK(entries->size() == before.size(), "INI section lists its keys");
  for (std::size_t i = 0; i < entries->size() && i < before.size(); ++i)
    FUZZ_CHECK((*entries)[i].first == before[i] && (*entries)[i].second == values[i], "INI section gives each value");
  if (!OsIniWrite(file, "S", "FUZZK", value)) return;
  std::string trimmed = value;  // the reader drops blanks and one pair of quotes
  FUZZ_CHECK(OsIniValue(file, "S", "FUZZK") == trimmed || value.find_first_of(" \t\"'") != std::string::npos,
             "INI value written reads back");
  // The written name may take the place of a line of that name without a value.
  auto others = [](const std::vector<std::string>& keys) {
    std::vector<std::string> kept;
    for (const std::string& key : keys) {
      std::string upper = key;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (upper != "FUZZK") kept.push_back(key);
    }
    return kept;
  };
  const std::vector<std::string> after = others(OsIniKeys(file, "S")), kept = others(before);
  for (std::size_t i = 0; i < kept.size() && i < after.size(); ++i)
    FUZZ_CHECK(kept[i] == after[i], "other INI keys stay in place");
  for (std::size_t i = 0; i < before.size(); ++i)
    if (std::find(kept.begin(), kept.end(), before[i]) != kept.end())
      FUZZ_CHECK(OsIniValue(file, "S", before[i]) == values[i], "other INI values unchanged");
}

std::string Show(const std::optional<TRegValue>& v) {
  if (!v) return "-";
  return std::to_string(static_cast<int>(v->Type)) + ":" + v->Data;
}

void FuzzRegistry(const std::string& text, const std::string& value) {
  WriteBytes(OsRegistryFilePath(), text);
  const char* const names[] = {"A", "B", ""};
  std::string before[3];
  for (int i = 0; i < 3; ++i) before[i] = Show(OsRegReadValue("K", names[i]));
  if (!OsRegWriteString("K", "FUZZ", value)) return;
  // A UTF-16 file holds characters: bytes that are none in the locale's
  // character set (UTF-8 here) are stored as the characters of their values.
  const bool ascii = std::all_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || !text.starts_with("\xFF\xFE"))
    FUZZ_CHECK(Show(OsRegReadValue("k", "fuzz")) == Show(TRegValue{TRegType::String, value}),
               "registry value written reads back");
  for (int i = 0; i < 3; ++i) FUZZ_CHECK(Show(OsRegReadValue("K", names[i])) == before[i], "other registry values unchanged");

  // The same text as regedit's UTF-16, read into UTF-8 (a text with a
  // byte-order mark of its own is another text then).
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xEF\xBB\xBF")) return;
  std::string wide = "\xFF\xFE";
  for (char c : text) wide += {c, '\0'};
  const TRegistryText reg(wide, Utf8Charset(), OsUpperCaseBuffer);
  std::string beforeWide[3];
  for (int i = 0; i < 3; ++i) beforeWide[i] = Show(reg.Value("K", names[i]));
  const std::optional<std::string> written = reg.WithString("K", "FUZZ", value);
  FUZZ_CHECK(written.has_value(), "UTF-16 registry text takes what its byte form took");
  const TRegistryText after(*written, Utf8Charset(), OsUpperCaseBuffer);
  if (ascii)
    FUZZ_CHECK(Show(after.Value("k", "fuzz")) == Show(TRegValue{TRegType::String, value}),
               "UTF-16 registry value written reads back");
  for (int i = 0; i < 3; ++i)
    FUZZ_CHECK(Show(after.Value("K", names[i])) == beforeWide[i], "other UTF-16 registry values unchanged");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string value = ValueTexts[(data[0] >> 1) % (sizeof ValueTexts / sizeof *ValueTexts)];
  if (data[0] & 1)
    FuzzRegistry(text, value);
  else
    FuzzIni(text, value);
  return 0;
}
