#pragma once
// Text as bytes: the character set a text is encoded in, and the form in which
// a caller hands in its upper-case mapping. The sets and the mapping of the
// user's locale belong to the platform (uOsLocale.h); the text formats get
// them from their caller and know no platform.
#include <cstddef>
#include <string>
#include <string_view>

/// How text is encoded as bytes. The registry file's UTF-16 text is turned
/// into it on reading and back on writing.
class TCharset {
public:
  virtual ~TCharset() = default;
  /// Appends the code point's bytes; false (nothing appended) when the set cannot hold it.
  virtual bool Append(std::string& text, char32_t code) const = 0;
  /// The code point whose bytes start at `pos`, and their count; 0 when the
  /// bytes there start no character of the set.
  virtual std::size_t Read(std::string_view text, std::size_t pos, char32_t& code) const = 0;
};

/// UTF-8; overlong forms, surrogates and code points beyond U+10FFFF start no character.
const TCharset& Utf8Charset();

/// Upper-cases `length` bytes in place, byte for byte (the length never
/// changes). A call per buffer, not per character: a format upper-cases a name
/// in one call, or a whole table of the 256 bytes once.
using TUpperCaseBuffer = void (*)(char* data, std::size_t length);
