// CRemoteConnection: a connection to a remote machine's administrative share "\\<machine>\ADMIN$"
// for the setup's file work there, cancelled when the object goes.
#pragma once

#include <windows.h>

#include <string>

namespace ferry::setup {

class CRemoteConnection {
 public:
  CRemoteConnection() = default;
  ~CRemoteConnection();
  CRemoteConnection(const CRemoteConnection&) = delete;
  CRemoteConnection& operator=(const CRemoteConnection&) = delete;

  // ERROR_SUCCESS, or the error of WNetAddConnection2A. A local machine needs no connection and
  // succeeds at once. An empty user connects with the caller's own credentials.
  DWORD connect(const std::string& machine, const std::string& user, const std::string& password);

 private:
  std::string share_;
};

}  // namespace ferry::setup
