// CSetupLog: the setup's own log file "IngresDBASetup.log", in the folder named by the
// environment variable DBAGUI_LOG_PATH, else in the temporary folder. One line per call, with
// the local time; lines of all setup processes are appended to the same file.
//
// Conventions: never fails its caller (a line that cannot be written is dropped); callers never
// pass passwords.
#pragma once

#include <string>

namespace ferry::setup {

class CSetupLog {
 public:
  static void write(const std::string& line);
  // The file's full path as it would be used now.
  static std::string path();
};

}  // namespace ferry::setup
