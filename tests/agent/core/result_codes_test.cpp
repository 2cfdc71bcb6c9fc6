// The conversions of system errors into result codes.
#include "core/result_codes.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace ferry::agent {
namespace {

TEST(ResultCodes, SystemErrorsAreOffsetAndErrnoIsNeverBare) {
  EXPECT_EQ(resultFromWin32(0), DSA_SYSTEM_ERROR_BASE);
  EXPECT_EQ(resultFromWin32(1326), 11326u);
  // errno values read as agent codes when returned bare (ENOENT 2 is "not connected").
  EXPECT_EQ(resultFromErrno(ENOENT), 10002u) << "ERROR_FILE_NOT_FOUND";
  EXPECT_EQ(resultFromErrno(EACCES), 10005u) << "ERROR_ACCESS_DENIED";
  EXPECT_EQ(resultFromErrno(ENOMEM), 10008u) << "ERROR_NOT_ENOUGH_MEMORY";
  EXPECT_EQ(resultFromErrno(0), DSA_SYSTEM_ERROR_BASE) << "no error recorded";
  EXPECT_EQ(resultFromErrno(-12345), 10031u) << "ERROR_GEN_FAILURE for the unknown";
  for (int e = 0; e < 200; ++e) {
    EXPECT_GE(resultFromErrno(e), DSA_SYSTEM_ERROR_BASE) << "errno " << e;
  }
}

}  // namespace
}  // namespace ferry::agent
