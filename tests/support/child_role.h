// Cross-process tests re-run their own program as the second process: "<program> --child <role>
// [args...]". A test file registers each role it needs with FERRY_CHILD_ROLE; the test main
// dispatches to it instead of running the tests.
#pragma once

namespace ferry::test {

using ChildRoleFn = int (*)(int argc, char** argv);

struct ChildRoleRegistration {
  ChildRoleRegistration(const char* name, ChildRoleFn fn);
};

// Runs the registered role; 125 when no role of that name exists.
int runChildRole(const char* name, int argc, char** argv);

}  // namespace ferry::test

#define FERRY_CHILD_ROLE(role)                                                         \
  static int ferryChildRole_##role(int argc, char** argv);                             \
  static const ::ferry::test::ChildRoleRegistration ferryChildRoleRegistration_##role( \
      #role, ferryChildRole_##role);                                                   \
  static int ferryChildRole_##role([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
