#include "support/json_reader.h"

#include <cctype>

namespace ferry::test {
namespace {

using ctl::Json;

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<Json> document(std::string* error) {
    std::optional<Json> value = readValue(0);
    if (value) {
      skipBlanks();
      if (at_ != text_.size()) value = fail("text after the document");
    }
    if (!value) *error = error_;
    return value;
  }

 private:
  std::nullopt_t fail(const std::string& why) {
    if (error_.empty()) error_ = why + " at offset " + std::to_string(at_);
    return std::nullopt;
  }
  void skipBlanks() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t')) {
      ++at_;
    }
  }
  bool take(char c) {
    skipBlanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool word(std::string_view w) {
    if (text_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  std::optional<Json> readValue(int depth) {
    if (depth > 64) return fail("nesting too deep");
    skipBlanks();
    if (at_ >= text_.size()) return fail("end of text where a value is due");
    const char c = text_[at_];
    if (c == '{') return readObject(depth);
    if (c == '[') return readArray(depth);
    if (c == '"') {
      std::optional<std::string> s = readString();
      if (!s) return std::nullopt;
      return Json(*s);
    }
    if (word("null")) return Json();
    if (word("true")) return Json(true);
    if (word("false")) return Json(false);
    return readNumber();
  }

  std::optional<Json> readNumber() {
    const bool negative = at_ < text_.size() && text_[at_] == '-';
    if (negative) ++at_;
    const size_t start = at_;
    uint64_t value = 0;
    while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) {
      value = value * 10 + static_cast<uint64_t>(text_[at_++] - '0');
    }
    if (at_ == start) return fail("not a value");
    if (at_ - start > 1 && text_[start] == '0') return fail("a number with a leading zero");
    if (at_ < text_.size() && (text_[at_] == '.' || text_[at_] == 'e' || text_[at_] == 'E')) {
      return fail("a number that is not an integer");
    }
    if (negative) return Json(static_cast<int64_t>(0 - value));  // modular: INT64_MIN too
    return Json(value);
  }

  std::optional<std::string> readString() {
    ++at_;  // the quote
    std::string out;
    while (at_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"') return out;
      if (c < 0x20) return fail("a raw control character in a string");
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (at_ >= text_.size()) break;
      const char e = text_[at_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          if (at_ + 4 > text_.size()) return fail("a cut-off \\u escape");
          unsigned unit = 0;
          for (int i = 0; i < 4; ++i) {
            const char h = text_[at_++];
            if (!std::isxdigit(static_cast<unsigned char>(h))) return fail("a bad \\u escape");
            unit = unit * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(h))
                                                         ? h - '0'
                                                         : std::tolower(h) - 'a' + 10);
          }
          out += unit < 0x100 ? static_cast<char>(unit) : '?';
          break;
        }
        default:
          return fail("an unknown escape");
      }
    }
    return fail("a string without its end");
  }

  std::optional<Json> readArray(int depth) {
    ++at_;
    Json array = Json::array();
    if (take(']')) return array;
    do {
      std::optional<Json> item = readValue(depth + 1);
      if (!item) return std::nullopt;
      array.push(std::move(*item));
    } while (take(','));
    if (!take(']')) return fail("an array without its ']'");
    return array;
  }

  std::optional<Json> readObject(int depth) {
    ++at_;
    Json object = Json::object();
    if (take('}')) return object;
    do {
      skipBlanks();
      if (at_ >= text_.size() || text_[at_] != '"') return fail("a member without its name");
      std::optional<std::string> key = readString();
      if (!key) return std::nullopt;
      if (object.find(*key) != nullptr) return fail("member '" + *key + "' twice");
      if (!take(':')) return fail("a member without ':'");
      std::optional<Json> value = readValue(depth + 1);
      if (!value) return std::nullopt;
      object.set(*key, std::move(*value));
    } while (take(','));
    if (!take('}')) return fail("an object without its '}'");
    return object;
  }

  std::string_view text_;
  size_t at_ = 0;
  std::string error_;
};

}  // namespace

std::optional<Json> readJson(std::string_view text, std::string* error) {
  return Reader(text).document(error);
}

Json jsonAt(const Json& value, std::initializer_list<JsonStep> path) {
  const Json* at = &value;
  for (const JsonStep& step : path) {
    if (step.index >= 0) {
      if (at->type() != Json::Type::kArray || static_cast<size_t>(step.index) >= at->size()) {
        return Json();
      }
      at = &at->at(static_cast<size_t>(step.index));
    } else {
      at = at->find(step.key);
      if (at == nullptr) return Json();
    }
  }
  return *at;
}

}  // namespace ferry::test
