#pragma once
// The one kind of failure of the system: an exception that carries one message
// text (a byte string in the system code page). It is caught only at the few
// outer levels that report it, and at the inner places that re-word or ignore it.
#include <exception>
#include <initializer_list>
#include <string>

class EFailure : public std::exception {
public:
  explicit EFailure(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
};

/// Replaces the "%s" of `pattern` in turn by the arguments; a "%s" inside an
/// argument stays as it is.
std::string FormatMessage(const std::string& pattern, std::initializer_list<std::string> arguments);
/// The same with one argument.
std::string FormatMessage(const std::string& pattern, const std::string& argument);
