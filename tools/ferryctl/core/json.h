// A JSON value built in memory and written as one document: what `ferryctl --json` prints.
//
// Conventions: platform-free; no exceptions. Strings are held as the console holds text, in
// the system's ANSI code page; the writer turns every byte beyond ASCII (and every control
// character) into \u escapes through a decoder the caller supplies, so that the document is
// plain ASCII and valid whatever the console's code page. Numbers are integers. Object members
// keep the order in which they were set.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::ctl {

// Turns a run of text bytes (all of them 0x80 or above) into UTF-16 code units.
using TextDecoder = std::function<std::u16string(std::string_view)>;

// Each byte as the code point of the same number (ISO 8859-1): the decoder where no code page
// is known.
std::u16string latin1Decoder(std::string_view bytes);

class Json {
 public:
  enum class Type { kNull, kBool, kSigned, kUnsigned, kString, kArray, kObject };

  Json() = default;  // null
  Json(bool value) : type_(Type::kBool), bool_(value) {}
  Json(int value) : type_(Type::kSigned), signed_(value) {}
  Json(int64_t value) : type_(Type::kSigned), signed_(value) {}
  Json(uint32_t value) : type_(Type::kUnsigned), unsigned_(value) {}
  Json(uint64_t value) : type_(Type::kUnsigned), unsigned_(value) {}
  Json(const char* value) : type_(Type::kString), string_(value) {}
  Json(std::string value) : type_(Type::kString), string_(std::move(value)) {}
  Json(std::string_view value) : type_(Type::kString), string_(value) {}

  static Json array();
  static Json object();

  Type type() const { return type_; }
  // Object: sets `key` (a key set again keeps its place and takes the new value); returns the
  // object. Ignored on any other type.
  Json& set(std::string_view key, Json value);
  // Array: appends; returns the array. Ignored on any other type.
  Json& push(Json value);
  // Object: the member's value, or null when there is none.
  const Json* find(std::string_view key) const;
  // Array or object: the number of elements or members, and element or member `index`.
  size_t size() const { return items_.size(); }
  const Json& at(size_t index) const { return items_.at(index); }
  const std::string& keyAt(size_t index) const { return keys_.at(index); }
  const std::string& string() const { return string_; }
  bool boolean() const { return bool_; }
  // A number: as signed (a value beyond int64_t's range saturates) and unsigned (a negative
  // value gives 0).
  int64_t signedNumber() const;
  uint64_t unsignedNumber() const;

  // The document, indented by two blanks per level, without a final newline.
  std::string serialize(const TextDecoder& decode = latin1Decoder) const;

 private:
  void write(std::string& out, const TextDecoder& decode, int depth) const;

  Type type_ = Type::kNull;
  bool bool_ = false;
  int64_t signed_ = 0;
  uint64_t unsigned_ = 0;
  std::string string_;
  std::vector<std::string> keys_;  // object: one per item
  std::vector<Json> items_;        // array elements or object values
};

// A JSON string literal of `text`, quotes included.
std::string jsonString(std::string_view text, const TextDecoder& decode = latin1Decoder);

}  // namespace ferry::ctl
