#include "Bibliothek/Textformate/uCharset.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Charset, Utf8ReadsWhatItWritesAndRefusesBrokenBytes) {
  const struct {
    char32_t Code;
    const char* Bytes;  // nullptr: not a character
  } rows[] = {{U'a', "a"},          {0xFC, "\xC3\xBC"},     {0x20AC, "\xE2\x82\xAC"}, {0x1F600, "\xF0\x9F\x98\x80"},
              {0xD800, nullptr},    {0x110000, nullptr}};
  for (const auto& row : rows) {
    std::string text;
    EXPECT_EQ(row.Bytes != nullptr, Utf8Charset().Append(text, row.Code)) << static_cast<unsigned long>(row.Code);
    EXPECT_EQ(row.Bytes ? row.Bytes : "", text);
    char32_t code = 0;
    if (row.Bytes) {
      EXPECT_EQ(text.size(), Utf8Charset().Read(text, 0, code));
      EXPECT_EQ(static_cast<unsigned long>(row.Code), static_cast<unsigned long>(code));
    }
  }
  // Overlong, a surrogate, a cut sequence, a lone continuation byte.
  for (const char* broken : {"\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\x80", "\xF6x"}) {
    char32_t code = 0;
    EXPECT_EQ(0u, Utf8Charset().Read(broken, 0, code)) << ::testing::PrintToString(std::string(broken));
  }
}

}  // namespace
