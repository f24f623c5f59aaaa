#include "Bibliothek/uFailure.h"

std::string FormatMessage(const std::string& pattern, std::initializer_list<std::string> arguments) {
  std::string result;
  std::size_t from = 0;
  for (const std::string& argument : arguments) {
    const std::size_t at = pattern.find("%s", from);
    if (at == std::string::npos) break;
    result.append(pattern, from, at - from);
    result += argument;
    from = at + 2;
  }
  return result.append(pattern, from, std::string::npos);
}

std::string FormatMessage(const std::string& pattern, const std::string& argument) {
  return FormatMessage(pattern, {argument});
}
