// Host variables of the embedded-SQL calls: reading the caller's input values and text pieces,
// and storing fetched column values into the caller's targets within their stated lengths.
// Plain C++, no platform headers: the rules live here so that they are tested on their own.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/runtime_status.h"

namespace ingsim::esql {

// One SQL value: a statement parameter or a fetched column.
struct SqlValue {
  enum class Kind { Null, Integer, Text };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  std::string text;

  static SqlValue null() { return {}; }
  static SqlValue ofInteger(int64_t value) { return {Kind::Integer, value, {}}; }
  static SqlValue ofText(std::string value) { return {Kind::Text, 0, std::move(value)}; }
};

// A text piece of IIwritio: type 32, `length` 0 meaning "up to the NUL", else at most `length`
// characters (a NUL ends it earlier). A non-zero `trim` drops trailing blanks, as for a
// fixed-width host variable.
Status readTextPiece(int32_t trim, int32_t type, int32_t length, const char* text,
                     std::string* piece);

// An input host variable of IIputdomio. Type 30 with length 1, 2, 4 or 8 is a signed integer of
// that size; type 32 a string read as readTextPiece reads it. An indicator holding -1 makes the
// value NULL whatever `data` holds.
Status readHostVariable(const int16_t* indicator, int32_t type, int32_t length, const void* data,
                        SqlValue* value);

// Stores a fetched value into an output host variable (IIgetdomio, IIcsGetio).
// Type 32: at most `length` characters, then a NUL (the target holds length + 1 bytes); a
// longer value is cut and *truncated set. An integer value is stored as its decimal text.
// Type 30: a signed integer of `length` 1, 2, 4 or 8 bytes; text holding a decimal integer is
// converted; anything else, or a value out of range, fails.
// NULL stores the empty string or 0 and sets the indicator to -1 (else the indicator is set to
// 0). On failure neither the target nor the indicator is touched.
Status storeHostVariable(const SqlValue& value, int16_t* indicator, int32_t type, int32_t length,
                         void* target, bool* truncated);

}  // namespace ingsim::esql
