// The console's JSON documents: every kind of value, the escapes that keep a document ASCII
// and valid whatever bytes a path or an agent text holds, and the shared fields.
#include "core/json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/json_fields.h"
#include "support/json_reader.h"

namespace ferry::ctl {
namespace {

using test::jsonAt;
using test::readJson;

TEST(CtlJson, DocumentsReadBackAsWritten) {
  Json document = Json::object();
  document.set("null", Json())
      .set("yes", true)
      .set("no", false)
      .set("zero", 0)
      .set("most", UINT64_MAX)
      .set("least", INT64_MIN)
      .set("empty array", Json::array())
      .set("empty object", Json::object())
      .set("list", Json::array().push(1).push("two").push(Json::array().push(Json())));
  document.set("zero", 7);  // set again: the value changes, the place stays
  const std::string text = document.serialize();
  EXPECT_EQ(text.find("\"zero\": 7"), text.find("\"zero\"")) << text;
  EXPECT_LT(text.find("\"zero\""), text.find("\"most\"")) << "members keep their order: " << text;
  EXPECT_NE(text.find("\"empty array\": [],"), std::string::npos) << text;
  EXPECT_NE(text.find("\"empty object\": {},"), std::string::npos) << text;
  EXPECT_EQ(text.find('\n'), 1u) << "indented, one member a line: " << text;
  std::string error;
  std::optional<Json> back = readJson(text, &error);
  ASSERT_TRUE(back) << error << "\n" << text;
  EXPECT_EQ(back->size(), 9u);
  EXPECT_EQ(jsonAt(*back, {"null"}).type(), Json::Type::kNull);
  EXPECT_TRUE(jsonAt(*back, {"yes"}).boolean());
  EXPECT_EQ(jsonAt(*back, {"no"}).type(), Json::Type::kBool);
  EXPECT_EQ(jsonAt(*back, {"zero"}).unsignedNumber(), 7u);
  EXPECT_EQ(jsonAt(*back, {"most"}).unsignedNumber(), UINT64_MAX);
  EXPECT_EQ(jsonAt(*back, {"least"}).signedNumber(), INT64_MIN);
  EXPECT_EQ(jsonAt(*back, {"list", 1}).string(), "two");
  EXPECT_EQ(jsonAt(*back, {"list", 2, 0}).type(), Json::Type::kNull);
  EXPECT_EQ(jsonAt(*back, {"list", 3}).type(), Json::Type::kNull) << "past the end";
  {
    SCOPED_TRACE("set and push only where they belong");
    Json number(5);
    number.set("x", 1).push(2);
    EXPECT_EQ(number.serialize(), "5");
    EXPECT_EQ(Json::array().set("x", 1).serialize(), "[]");
  }
}

TEST(CtlJson, EveryByteOfAStringIsEscapedOrPlainAscii) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  const std::string text = Json(all).serialize();
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    ASSERT_TRUE(u >= 0x20 && u < 0x7f) << "raw byte " << static_cast<int>(u) << " in " << text;
  }
  EXPECT_NE(text.find("\\n\\u000b\\u000c\\r"), std::string::npos) << text;
  EXPECT_NE(text.find("\\t"), std::string::npos) << text;
  EXPECT_NE(text.find("!\\\"#"), std::string::npos) << "the quote: " << text;
  EXPECT_NE(text.find("[\\\\]"), std::string::npos) << "the backslash: " << text;
  EXPECT_NE(text.find("~\\u007f\\u0080"), std::string::npos) << text;
  std::string error;
  std::optional<Json> back = readJson(text, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->string(), all) << "Latin-1 for every byte: each comes back";
  EXPECT_EQ(Json(std::string("a\0b", 3)).serialize(), "\"a\\u0000b\"") << "a NUL too";
  {
    SCOPED_TRACE("the decoder turns a run of bytes beyond ASCII into UTF-16 units");
    std::string seen;
    TextDecoder decoder = [&](std::string_view bytes) {
      seen += "[" + std::string(bytes) + "]";
      return std::u16string(u"\u00e9\U0001F600");  // one BMP unit and a surrogate pair
    };
    EXPECT_EQ(jsonString("a\xc3\xa9z\xff", decoder),
              "\"a\\u00e9\\ud83d\\ude00z\\u00e9\\ud83d\\ude00\"");
    EXPECT_EQ(seen, "[\xc3\xa9][\xff]");
  }
  {
    SCOPED_TRACE("keys are escaped as strings are");
    Json object = Json::object().set("C:\\a\"b", 1);
    EXPECT_EQ(object.serialize(), "{\n  \"C:\\\\a\\\"b\": 1\n}");
  }
}

TEST(CtlJson, SharedFields) {
  constexpr uint64_t k1970 = 116444736000000000ull;
  auto fileTime = [](uint64_t unixSeconds) { return k1970 + unixSeconds * 10000000ull; };
  EXPECT_EQ(utcTimeText(0), "") << "no time";
  EXPECT_EQ(utcTimeText(1), "1601-01-01T00:00:00Z");
  EXPECT_EQ(utcTimeText(k1970), "1970-01-01T00:00:00Z");
  EXPECT_EQ(utcTimeText(fileTime(951825600)), "2000-02-29T12:00:00Z") << "a leap day";
  EXPECT_EQ(utcTimeText(fileTime(951868799)), "2000-02-29T23:59:59Z");
  EXPECT_EQ(utcTimeText(fileTime(951868800)), "2000-03-01T00:00:00Z");
  EXPECT_EQ(utcTimeText(fileTime(1735689599) + 9999999), "2024-12-31T23:59:59Z") << "rounded down";
  EXPECT_EQ(utcTimeText(fileTime(4107542400)), "2100-03-01T00:00:00Z") << "2100 has no 29 Feb";
  EXPECT_EQ(utcTimeText(fileTime(978220800)), "2000-12-31T00:00:00Z") << "day 366 of 2000";
  EXPECT_EQ(objectKindWord(archive::ObjectKind::kJournal), std::string("journals"));
  AgentInfo info{"Ingres Server", "?", "", "11.5", "3-1-2005"};
  EXPECT_EQ(agentInfoJson(info).serialize(),
            "{\n  \"vendorName\": \"Ingres Server\",\n  \"buildNumber\": \"?\",\n"
            "  \"vendorVersion\": \"\",\n  \"agentVersion\": \"11.5\",\n"
            "  \"libraryDate\": \"3-1-2005\"\n}");
}

}  // namespace
}  // namespace ferry::ctl
