// Expansion of the machine environment's Path value for the agent's PATH refresh.
//
// Conventions:
// - Platform-free; the caller supplies the variable lookup (the process environment).
// - All or nothing: the result is the whole expanded text, or nothing when any reference cannot
//   be expanded, so that a half-expanded PATH never replaces a working one.
// - No exceptions.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ferry::agent {

// A referenced variable's value must fit the refresh's 256-byte lookup buffer, NUL included.
inline constexpr size_t kMaxPathVariableValue = 255;

// The value of a variable, or nothing when it is not set.
using VariableLookup = std::function<std::optional<std::string>(const std::string& name)>;

// Copies `value` from left to right, replacing each "%NAME%" by the variable's value. Nothing
// when a closing '%' is missing (a lone '%'), a named variable is not set (the empty name "%%"
// included), or its value is longer than kMaxPathVariableValue.
std::optional<std::string> expandMachinePath(std::string_view value, const VariableLookup& lookup);

}  // namespace ferry::agent
