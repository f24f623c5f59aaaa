#pragma once
// Character sets and upper-case mappings for the tests of the text formats,
// which must not depend on the locale of the machine they run on.
#include <cstddef>
#include <string>
#include <string_view>

#include "Bibliothek/Textformate/uCharset.h"

/// The C locale's mapping: ASCII letters only.
inline void AsciiUpperCase(char* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (data[i] >= 'a' && data[i] <= 'z') data[i] = static_cast<char>(data[i] - 'a' + 'A');
}

/// ISO-8859-1's mapping: the accented letters too, but not the division sign.
inline void Latin1UpperCase(char* data, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) data[i] = static_cast<char>(c - 0x20);
  }
}

/// ISO-8859-1, so that the tables' single bytes above 127 read the same in both builds.
class TLatin1Charset : public TCharset {
public:
  bool Append(std::string& text, char32_t code) const override {
    if (code > 0xFF) return false;
    text += static_cast<char>(code);
    return true;
  }
  std::size_t Read(std::string_view text, std::size_t pos, char32_t& code) const override {
    code = static_cast<unsigned char>(text[pos]);
    return 1;
  }
};
inline const TLatin1Charset Latin1;
