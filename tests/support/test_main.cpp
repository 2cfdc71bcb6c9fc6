#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "support/child_role.h"

namespace ferry::test {
namespace {

std::map<std::string, ChildRoleFn>& roles() {
  static std::map<std::string, ChildRoleFn> table;
  return table;
}

}  // namespace

ChildRoleRegistration::ChildRoleRegistration(const char* name, ChildRoleFn fn) {
  roles()[name] = fn;
}

int runChildRole(const char* name, int argc, char** argv) {
  auto it = roles().find(name);
  if (it == roles().end()) {
    std::fprintf(stderr, "unknown child role '%s'\n", name);
    return 125;
  }
  return it->second(argc, argv);
}

}  // namespace ferry::test

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
    return ferry::test::runChildRole(argv[2], argc - 3, argv + 3);
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
