// docs/integrating.md against the agent's public header: the result-code table names every code
// the header defines, with its value, a meaning and what a caller does; and the page names every
// entry point the header exports. The header is found through the agent interface target's
// include folders (FERRYMAN_INCLUDE_DIRS, '|'-separated), wherever it lives.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string readText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string headerPath() {
  std::stringstream dirs(FERRYMAN_INCLUDE_DIRS);
  for (std::string dir; std::getline(dirs, dir, '|');) {
    if (std::ifstream(dir + "/ferryman.h").good()) return dir + "/ferryman.h";
  }
  return "";
}

// The codes the header defines in its result-code block: from "Result codes" to the first
// declaration, continuation lines joined.
std::map<std::string, unsigned long> headerCodes(const std::string& header) {
  std::map<std::string, unsigned long> codes;
  const size_t begin = header.find("Result codes");
  const size_t end = header.find("FERRYMAN_API", begin);
  if (begin == std::string::npos || end == std::string::npos) return codes;
  const std::string block =
      std::regex_replace(header.substr(begin, end - begin), std::regex("\\\\\\r?\\n"), " ");
  const std::regex define("#define\\s+(DSA_[A-Z0-9_]+)\\s+(\\d+)u");
  for (std::sregex_iterator it(block.begin(), block.end(), define), last; it != last; ++it) {
    codes[(*it)[1]] = std::stoul((*it)[2]);
  }
  return codes;
}

struct Row {
  unsigned long value = 0;
  std::string meaning;
  std::string caller;
};

// The rows of the page's "## Result codes" table: | code | `NAME` | meaning | caller |.
std::map<std::string, Row> documentedCodes(const std::string& page,
                                           std::vector<std::string>* twice) {
  std::map<std::string, Row> rows;
  const size_t begin = page.find("\n## Result codes");
  if (begin == std::string::npos) return rows;
  const size_t end = page.find("\n## ", begin + 1);
  const std::string section = page.substr(begin, end - begin);
  const std::regex row(
      "\\n\\|\\s*(\\d+)\\s*\\|\\s*`(DSA_[A-Z0-9_]+)`\\s*\\|([^|\\n]*)\\|([^|\\n]*)\\|");
  for (std::sregex_iterator it(section.begin(), section.end(), row), last; it != last; ++it) {
    const std::string name = (*it)[2];
    if (rows.count(name)) twice->push_back(name);
    auto trim = [](std::string text) {
      text.erase(0, text.find_first_not_of(' '));
      text.erase(text.find_last_not_of(' ') + 1);
      return text;
    };
    rows[name] = {std::stoul((*it)[1]), trim((*it)[3]), trim((*it)[4])};
  }
  return rows;
}

TEST(IntegratingDoc, ResultCodeTableMatchesTheHeader) {
  const std::string path = headerPath();
  ASSERT_NE(path, "") << "ferryman.h is in none of " << FERRYMAN_INCLUDE_DIRS;
  const std::map<std::string, unsigned long> codes = headerCodes(readText(path));
  // The header's own block, read right: the first and the last code it has always had.
  ASSERT_GE(codes.size(), 30u) << path;
  EXPECT_EQ(codes.at("DSA_OK"), 0u);
  EXPECT_EQ(codes.at("DSA_END_OF_OBJECT"), 9999u);

  const std::string page = readText(INTEGRATING_DOC);
  ASSERT_NE(page, "") << INTEGRATING_DOC;
  std::vector<std::string> twice;
  const std::map<std::string, Row> rows = documentedCodes(page, &twice);
  EXPECT_TRUE(twice.empty()) << "documented twice: " << twice.front();
  for (const auto& [name, value] : codes) {
    auto row = rows.find(name);
    if (row == rows.end()) {
      ADD_FAILURE() << name << " (" << value << ") is not in the page's result-code table";
      continue;
    }
    EXPECT_EQ(row->second.value, value) << name << ": the page says " << row->second.value;
  }
  for (const auto& [name, row] : rows) {
    EXPECT_TRUE(codes.count(name)) << name << " (" << row.value << ") is not in " << path;
    EXPECT_GE(row.meaning.size(), 4u) << name << ": no meaning";
    const bool known = row.caller.starts_with("go on") || row.caller.starts_with("retry") ||
                       row.caller.starts_with("report") || row.caller.starts_with("give up");
    EXPECT_TRUE(known) << name << ": '" << row.caller
                       << "' says neither go on, retry, report nor give up";
  }
  EXPECT_NE(page.find("10000 + e"), std::string::npos) << "the system-error range";
}

TEST(IntegratingDoc, EveryEntryPointIsNamed) {
  const std::string path = headerPath();
  ASSERT_NE(path, "") << "ferryman.h is in none of " << FERRYMAN_INCLUDE_DIRS;
  const std::string header = readText(path);
  const std::string page = readText(INTEGRATING_DOC);
  const std::regex entryPoint(
      "FERRYMAN_API\\s+DSA_RESULT\\s+FERRYMAN_CALL\\s+(DSA[A-Za-z]+)\\s*\\(");
  std::set<std::string> names;
  for (std::sregex_iterator it(header.begin(), header.end(), entryPoint), last; it != last; ++it) {
    names.insert((*it)[1]);
  }
  ASSERT_GE(names.size(), 20u) << path;
  for (const std::string& name : names) {
    EXPECT_NE(page.find(name), std::string::npos) << name << " is not named in the page";
  }
}

}  // namespace
