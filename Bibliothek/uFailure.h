#pragma once
// The one kind of failure of the system: an exception that carries one message
// text (a byte string in the system code page). It is caught only at the few
// outer levels that report it, and at the inner places that re-word or ignore it.
#include <exception>
#include <string>

class EFailure : public std::exception {
public:
  explicit EFailure(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

/// Replaces the first "%s" of `pattern` by `argument` (the message texts carry one).
std::string FormatMessage(const std::string& pattern, const std::string& argument);
