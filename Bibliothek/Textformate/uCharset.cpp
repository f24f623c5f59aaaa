#include "Bibliothek/Textformate/uCharset.h"

namespace {

class TUtf8Charset : public TCharset {
public:
  bool Append(std::string& text, char32_t code) const override {
    if (code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return false;
    if (code < 0x80) {
      text += static_cast<char>(code);
    } else if (code < 0x800) {
      text += static_cast<char>(0xC0 | (code >> 6));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      text += static_cast<char>(0xE0 | (code >> 12));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (code >> 18));
      text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
    return true;
  }

  std::size_t Read(std::string_view text, std::size_t pos, char32_t& code) const override {
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    char32_t least = 0;  // the smallest code point of that length: below it is an overlong form
    if (lead < 0x80) {
      code = lead;
      return 1;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      length = 2, code = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3, code = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      length = 4, code = lead & 0x07, least = 0x10000;
    } else {
      return 0;
    }
    if (text.size() - pos < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[pos + k]);
      if ((next & 0xC0) != 0x80) return 0;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return 0;
    return length;
  }
};

}  // namespace

const TCharset& Utf8Charset() {
  static const TUtf8Charset charset;
  return charset;
}
