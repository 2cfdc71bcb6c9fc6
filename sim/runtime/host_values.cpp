#include "runtime/host_values.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "catalog/esql_runtime.h"

namespace ingsim::esql {
namespace {

bool isIntegerLength(int32_t length) {
  return length == 1 || length == 2 || length == 4 || length == 8;
}

Status unknownType(int32_t type, int32_t length) {
  return failure(kHostVariableMismatch, "E_LQ000C Host variable of type " + std::to_string(type) +
                                            " and length " + std::to_string(length) +
                                            " is not supported.");
}

int64_t readInteger(const void* data, int32_t length) {
  switch (length) {
    case 1: {
      int8_t v;
      std::memcpy(&v, data, sizeof v);
      return v;
    }
    case 2: {
      int16_t v;
      std::memcpy(&v, data, sizeof v);
      return v;
    }
    case 4: {
      int32_t v;
      std::memcpy(&v, data, sizeof v);
      return v;
    }
    default: {
      int64_t v;
      std::memcpy(&v, data, sizeof v);
      return v;
    }
  }
}

template <typename T>
bool writeIfFits(int64_t value, void* target) {
  if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) return false;
  const T narrow = static_cast<T>(value);
  // memcpy: the caller's variable need not be aligned.
  std::memcpy(target, &narrow, sizeof narrow);
  return true;
}

bool writeInteger(int64_t value, int32_t length, void* target) {
  switch (length) {
    case 1:
      return writeIfFits<int8_t>(value, target);
    case 2:
      return writeIfFits<int16_t>(value, target);
    case 4:
      return writeIfFits<int32_t>(value, target);
    default:
      return writeIfFits<int64_t>(value, target);
  }
}

// Decimal integer text with optional surrounding blanks, as a character column may hold it.
bool parseInteger(const std::string& text, int64_t* value) {
  size_t begin = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  if (begin == std::string::npos) return false;
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  if (*first == '+') ++first;
  auto [ptr, ec] = std::from_chars(first, last, *value);
  return ec == std::errc() && ptr == last;
}

}  // namespace

Status readTextPiece(int32_t trim, int32_t type, int32_t length, const char* text,
                     std::string* piece) {
  piece->clear();
  if (type != IISQ_TYPE_CHAR || length < 0) return unknownType(type, length);
  if (text == nullptr) {
    return failure(kRuntimeLogicalError, "E_LQ000D No text given for a character host variable.");
  }
  size_t size = 0;
  if (length == 0) {
    // The caller's promise is a NUL; stopping one past the statement limit is enough to report
    // an over-long text without reading further than that.
    size = ::strnlen(text, kMaxStatementLength + 1);
  } else {
    size = ::strnlen(text, static_cast<size_t>(length));
  }
  piece->assign(text, size);
  if (trim != 0) {
    const size_t last = piece->find_last_not_of(' ');
    piece->resize(last == std::string::npos ? 0 : last + 1);
  }
  return okStatus();
}

Status readHostVariable(const int16_t* indicator, int32_t type, int32_t length, const void* data,
                        SqlValue* value) {
  *value = SqlValue::null();
  const bool isNull = indicator != nullptr && *indicator == -1;
  if (type == IISQ_TYPE_INT) {
    if (!isIntegerLength(length)) return unknownType(type, length);
    if (isNull) return okStatus();
    if (data == nullptr) {
      return failure(kRuntimeLogicalError, "E_LQ000D No data given for an integer host variable.");
    }
    *value = SqlValue::ofInteger(readInteger(data, length));
    return okStatus();
  }
  if (type == IISQ_TYPE_CHAR) {
    if (length < 0) return unknownType(type, length);
    if (isNull) return okStatus();
    std::string text;
    Status status = readTextPiece(0, type, length, static_cast<const char*>(data), &text);
    if (!status.ok()) return status;
    *value = SqlValue::ofText(std::move(text));
    return okStatus();
  }
  return unknownType(type, length);
}

Status storeHostVariable(const SqlValue& value, int16_t* indicator, int32_t type, int32_t length,
                         void* target, bool* truncated) {
  *truncated = false;
  if (target == nullptr) {
    return failure(kRuntimeLogicalError, "E_LQ000D No target given for a fetched value.");
  }
  const bool isNull = value.kind == SqlValue::Kind::Null;
  if (type == IISQ_TYPE_CHAR) {
    if (length < 0) return unknownType(type, length);
    std::string text;
    if (value.kind == SqlValue::Kind::Text) text = value.text;
    if (value.kind == SqlValue::Kind::Integer) text = std::to_string(value.integer);
    size_t size = text.size();
    if (size > static_cast<size_t>(length)) {
      size = static_cast<size_t>(length);
      *truncated = true;
    }
    char* out = static_cast<char*>(target);
    std::memcpy(out, text.data(), size);
    out[size] = '\0';
  } else if (type == IISQ_TYPE_INT) {
    if (!isIntegerLength(length)) return unknownType(type, length);
    int64_t number = 0;
    if (value.kind == SqlValue::Kind::Integer) number = value.integer;
    if (value.kind == SqlValue::Kind::Text && !parseInteger(value.text, &number)) {
      return failure(kHostVariableMismatch,
                     "E_LQ000E Value '" + value.text.substr(0, 24) + "' is not an integer.");
    }
    if (!writeInteger(number, length, target)) {
      return failure(kHostVariableMismatch, "E_LQ000F Value " + std::to_string(number) +
                                                " does not fit an integer of " +
                                                std::to_string(length) + " bytes.");
    }
  } else {
    return unknownType(type, length);
  }
  if (indicator != nullptr) *indicator = isNull ? -1 : 0;
  return okStatus();
}

}  // namespace ingsim::esql
