// The machine Path expansion: references replaced from the process environment, and the whole
// refresh abandoned when any reference cannot be expanded.
#include "core/path_expansion.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace ferry::agent {
namespace {

class PathExpansionTest : public testing::Test {
 protected:
  std::map<std::string, std::string> variables_{
      {"SystemRoot", "C:\\windows"}, {"II_SYSTEM", "D:\\ingres"}, {"EMPTY", ""}};
  std::optional<std::string> expand(const std::string& value) {
    return expandMachinePath(value, [this](const std::string& name) -> std::optional<std::string> {
      auto it = variables_.find(name);
      if (it == variables_.end()) return std::nullopt;
      return it->second;
    });
  }
};

TEST_F(PathExpansionTest, TextWithoutReferencesIsCopied) {
  EXPECT_EQ(expand("C:\\a;C:\\b c;;C:\\d;").value_or("<none>"), "C:\\a;C:\\b c;;C:\\d;");
  EXPECT_EQ(expand("").value_or("<none>"), "");
}

TEST_F(PathExpansionTest, ReferencesAreReplaced) {
  EXPECT_EQ(expand("%SystemRoot%\\system32;%II_SYSTEM%\\ingres\\bin").value_or("<none>"),
            "C:\\windows\\system32;D:\\ingres\\ingres\\bin");
  EXPECT_EQ(expand("x%II_SYSTEM%%SystemRoot%y").value_or("<none>"), "xD:\\ingresC:\\windowsy")
      << "adjacent references";
  EXPECT_EQ(expand("a;%EMPTY%;b").value_or("<none>"), "a;;b") << "a variable set to empty";
}

TEST_F(PathExpansionTest, UnexpandableValueAbandonsTheWholeRefresh) {
  EXPECT_FALSE(expand("C:\\a;%MISSING%\\bin;C:\\b")) << "variable not set";
  EXPECT_FALSE(expand("C:\\a;100%")) << "lone '%' at the end";
  EXPECT_FALSE(expand("%SystemRoot%;50% off")) << "lone '%' after a good reference";
  EXPECT_FALSE(expand("a;%%;b")) << "empty name";
  EXPECT_FALSE(expand("%systemroot%")) << "names are looked up as written (the lookup decides)";
}

TEST_F(PathExpansionTest, ValueMustFitTheLookupBuffer) {
  variables_["LONG"] = std::string(kMaxPathVariableValue, 'v');
  EXPECT_EQ(expand("%LONG%").value_or("<none>").size(), kMaxPathVariableValue) << "255 fits";
  variables_["LONG"] = std::string(kMaxPathVariableValue + 1, 'v');
  EXPECT_FALSE(expand("%LONG%")) << "256 characters do not fit with their NUL";
}

}  // namespace
}  // namespace ferry::agent
