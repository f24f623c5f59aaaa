#pragma once
// The comparison of a date condition, as the engine takes it.
#include <optional>
#include <string>
#include <string_view>

enum class TDateOperator { Equal, Greater, GreaterEqual, Less, LessEqual };

/// ".EQ", ".GT", ".GE", ".LT" or ".LE".
std::string DateOperatorText(TDateOperator op);
/// The operator one of those five texts names (ASCII case ignored); nullopt for any other text.
std::optional<TDateOperator> DateOperatorFromText(std::string_view text);
