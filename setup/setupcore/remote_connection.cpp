#include "remote_connection.h"

#include <winnetwk.h>

#include "product_registry.h"

namespace ferry::setup {

CRemoteConnection::~CRemoteConnection() {
  // Best effort: the share stays usable by others who connected it themselves.
  if (!share_.empty()) WNetCancelConnection2A(share_.c_str(), 0, /*force=*/FALSE);
}

DWORD CRemoteConnection::connect(const std::string& machine, const std::string& user,
                                 const std::string& password) {
  if (isLocalMachine(machine)) return ERROR_SUCCESS;
  std::string share = (machine.rfind("\\\\", 0) == 0 ? machine : "\\\\" + machine) + "\\ADMIN$";
  NETRESOURCEA resource = {};
  resource.dwType = RESOURCETYPE_DISK;
  resource.lpRemoteName = share.data();
  DWORD rc = WNetAddConnection2A(&resource, user.empty() ? nullptr : password.c_str(),
                                 user.empty() ? nullptr : user.c_str(), CONNECT_TEMPORARY);
  if (rc == ERROR_SUCCESS) share_ = share;
  return rc;
}

}  // namespace ferry::setup
