#pragma once
// A value of the registry as its readers get it: from the real registry
// (uOsRegistry.h) or from a registry file's text (uRegistryText.h).
#include <string>

enum class TRegType { String, ExpandString, Other };

struct TRegValue {
  TRegType Type = TRegType::String;
  std::string Data;  // for strings: the text up to the first zero character
};
