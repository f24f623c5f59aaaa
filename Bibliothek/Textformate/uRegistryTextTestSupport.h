#pragma once
// What the registry file text's tests (uRegistryText_test.cpp) share with the
// registry module's contract test (uOsRegistry_test.cpp): a file's first lines
// and one key, and a value shown as "S:text", "E:text", "O:" or "(none)".
#include <optional>
#include <string>

#include "Bibliothek/Textformate/uRegValue.h"

inline std::string Show(const std::optional<TRegValue>& v) {
  if (!v) return "(none)";
  const char* type = v->Type == TRegType::String ? "S:" : v->Type == TRegType::ExpandString ? "E:" : "O:";
  return type + (v->Type == TRegType::Other ? std::string() : v->Data);
}

inline const std::string V5 = "Windows Registry Editor Version 5.00\r\n\r\n";
inline const std::string KeyHeading = "[HKEY_CURRENT_USER\\Software\\ORVEK\\Quillet\\PARAMETERS]\r\n";
inline const char* const KeyPath = "Software\\ORVEK\\Quillet\\PARAMETERS";
