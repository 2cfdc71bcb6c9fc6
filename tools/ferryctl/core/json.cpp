#include "core/json.h"

#include <cstdint>
#include <cstdio>

namespace ferry::ctl {
namespace {

void escapeUnit(std::string& out, char16_t unit) {
  char text[8];
  std::snprintf(text, sizeof text, "\\u%04x", static_cast<unsigned>(unit));
  out += text;
}

void indent(std::string& out, int depth) {
  out += '\n';
  out.append(static_cast<size_t>(depth) * 2, ' ');
}

}  // namespace

std::u16string latin1Decoder(std::string_view bytes) {
  std::u16string units;
  for (char c : bytes) units.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return units;
}

std::string jsonString(std::string_view text, const TextDecoder& decode) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      size_t end = i;
      while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80) ++end;
      for (char16_t unit : decode(text.substr(i, end - i))) escapeUnit(out, unit);
      i = end;
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          escapeUnit(out, c);
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

Json Json::array() {
  Json value;
  value.type_ = Type::kArray;
  return value;
}

Json Json::object() {
  Json value;
  value.type_ = Type::kObject;
  return value;
}

Json& Json::set(std::string_view key, Json value) {
  if (type_ != Type::kObject) return *this;
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] == key) {
      items_[i] = std::move(value);
      return *this;
    }
  }
  keys_.emplace_back(key);
  items_.push_back(std::move(value));
  return *this;
}

Json& Json::push(Json value) {
  if (type_ == Type::kArray) items_.push_back(std::move(value));
  return *this;
}

const Json* Json::find(std::string_view key) const {
  if (type_ != Type::kObject) return nullptr;
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] == key) return &items_[i];
  }
  return nullptr;
}

int64_t Json::signedNumber() const {
  if (type_ == Type::kSigned) return signed_;
  if (type_ != Type::kUnsigned) return 0;
  return unsigned_ > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(unsigned_);
}

uint64_t Json::unsignedNumber() const {
  if (type_ == Type::kUnsigned) return unsigned_;
  return type_ == Type::kSigned && signed_ > 0 ? static_cast<uint64_t>(signed_) : 0;
}

std::string Json::serialize(const TextDecoder& decode) const {
  std::string out;
  write(out, decode, 0);
  return out;
}

void Json::write(std::string& out, const TextDecoder& decode, int depth) const {
  switch (type_) {
    case Type::kNull:
      out += "null";
      return;
    case Type::kBool:
      out += bool_ ? "true" : "false";
      return;
    case Type::kSigned:
      out += std::to_string(signed_);
      return;
    case Type::kUnsigned:
      out += std::to_string(unsigned_);
      return;
    case Type::kString:
      out += jsonString(string_, decode);
      return;
    case Type::kArray:
    case Type::kObject:
      break;
  }
  const bool isObject = type_ == Type::kObject;
  if (items_.empty()) {
    out += isObject ? "{}" : "[]";
    return;
  }
  out += isObject ? '{' : '[';
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i > 0) out += ',';
    indent(out, depth + 1);
    if (isObject) out += jsonString(keys_[i], decode) + ": ";
    items_[i].write(out, decode, depth + 1);
  }
  indent(out, depth);
  out += isObject ? '}' : ']';
}

}  // namespace ferry::ctl
