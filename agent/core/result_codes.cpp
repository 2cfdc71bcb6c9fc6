#include "core/result_codes.h"

#include <cerrno>

namespace ferry::agent {
namespace {

// The Windows errors of winerror.h that the errno values map to.
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kTooManyOpenFiles = 4;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kInvalidHandle = 6;
constexpr uint32_t kNotEnoughMemory = 8;
constexpr uint32_t kGenFailure = 31;
constexpr uint32_t kFileExists = 80;
constexpr uint32_t kInvalidParameter = 87;
constexpr uint32_t kDiskFull = 112;
constexpr uint32_t kBusy = 170;
constexpr uint32_t kFilenameTooLong = 206;

}  // namespace

uint32_t resultFromErrno(int errnoValue) {
  switch (errnoValue) {
    case 0:
      return DSA_SYSTEM_ERROR_BASE;
    case ENOENT:
      return resultFromWin32(kFileNotFound);
    case EMFILE:
    case ENFILE:
      return resultFromWin32(kTooManyOpenFiles);
    case EACCES:
    case EPERM:
      return resultFromWin32(kAccessDenied);
    case EBADF:
      return resultFromWin32(kInvalidHandle);
    case ENOMEM:
      return resultFromWin32(kNotEnoughMemory);
    case EEXIST:
      return resultFromWin32(kFileExists);
    case EINVAL:
      return resultFromWin32(kInvalidParameter);
    case ENOSPC:
      return resultFromWin32(kDiskFull);
    case EBUSY:
      return resultFromWin32(kBusy);
    case ENAMETOOLONG:
      return resultFromWin32(kFilenameTooLong);
    default:
      return resultFromWin32(kGenFailure);
  }
}

}  // namespace ferry::agent
