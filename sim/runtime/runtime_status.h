// Status codes of the simulated embedded-SQL runtime (oiembdnt.dll), and the status value that
// its internal steps hand back.
//
// The negative codes are Ingres generic error numbers, which is what an application sees in
// sqlca.sqlcode against a real server: callers classify failures by these numbers, and the text
// in sqlca.sqlerrm says what exactly went wrong.
//
//   code     meaning                                     reported for
//   0        success
//   100      no (more) rows                              IInextget / IIcsRetrieve past the last row
//   -30100   table not found                             a statement naming an unknown table
//   -30110   column not found                            a statement naming an unknown column
//   -30120   cursor unknown                              IIcsRetrieve / IIcsClose / IIcsQuery of a
//                                                        cursor that is not open in the session
//   -30130   host variable does not fit                  unknown type code, bad length, a value
//                                                        that is not an integer or out of range
//   -31000   syntax error                                a statement SQLite does not accept, or
//                                                        text with parameters of its own
//   -33000   runtime logical error                       no current session, unknown or
//                                                        duplicate session id, calls out of order,
//                                                        null pointers where a value is needed
//   -34000   resource limit                              statement text over 64 KiB, too many or
//                                                        too long parameters
//   -39100   connection failure                          II_SYSTEM unset, unknown database,
//                                                        catalog file missing or unreadable
//   -49900   other error                                 SQLite failing while a statement runs
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace ingsim::esql {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kNoMoreRows = 100;
inline constexpr int32_t kTableNotFound = -30100;
inline constexpr int32_t kColumnNotFound = -30110;
inline constexpr int32_t kCursorUnknown = -30120;
inline constexpr int32_t kHostVariableMismatch = -30130;
inline constexpr int32_t kSyntaxError = -31000;
inline constexpr int32_t kRuntimeLogicalError = -33000;
inline constexpr int32_t kResourceLimit = -34000;
inline constexpr int32_t kConnectionFailure = -39100;
inline constexpr int32_t kOtherError = -49900;

// Longest statement text the runtime assembles (characters, without the NUL).
inline constexpr size_t kMaxStatementLength = 65536;
// Most host variables one statement may carry.
inline constexpr size_t kMaxParameters = 999;

// Outcome of one step: a sqlcode and, when it is not 0, the message for sqlca.sqlerrm.
struct Status {
  int32_t sqlcode = kOk;
  std::string message;

  bool ok() const { return sqlcode == kOk; }
  bool failed() const { return sqlcode < 0; }
};

inline Status okStatus() { return {}; }
inline Status failure(int32_t sqlcode, std::string message) {
  return Status{sqlcode, std::move(message)};
}

}  // namespace ingsim::esql
