// GetInstallationOwner: the account that owns the installation, from install.log or, failing
// that, from the privileged users of config.dat.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "core/installation_text.h"
#include "core/line_format.h"
#include "installation/installation_environment.h"
#include "logs/trace.h"
#include "unique_handle.h"

namespace ferry::agent {
namespace {

bool ownerFromInstallLog(ConnectionRecord* ci, char* owner, size_t ownerSize) {
  char path[600];
  formatMessage(path, sizeof path, "%s\\ingres\\files\\install.log", ci->installation.iiSystem);
  trace(ci, "GetInstallationOwner(): installation log file is %s", path);
  UniqueStdioFile file(std::fopen(path, "r"));
  if (file.get() == nullptr) return false;
  char line[kInstallationFileLineSize];
  while (std::fgets(line, sizeof line, file.get()) != nullptr) {
    char found[kOwnerNameSize];
    if (installLogOwner(line, found, sizeof found)) {
      formatMessage(owner, ownerSize, "%s", found);
      trace(ci, "GetInstallationOwner(): owner get from log file is '%s'", owner);
      return true;
    }
  }
  return false;
}

void ownerFromConfigDat(ConnectionRecord* ci, const char* path, char* owner, size_t ownerSize) {
  char computer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof computer;
  if (!GetComputerNameA(computer, &size)) {
    trace(ci, "GetInstallationOwner(): can NOT get computer name, returned owner is null");
    return;
  }
  trace(ci, "GetInstallationOwner(): computer name is '%s'", computer);
  char prefix[kOwnerNameSize];
  privilegeKeyPrefix(prefix, sizeof prefix, computer);
  trace(ci, "GetInstallationOwner(): s_strHead  is '%s'", prefix);

  OwnerChoice choice;
  UniqueStdioFile file(std::fopen(path, "r"));
  if (file.get() != nullptr) {
    char line[kInstallationFileLineSize];
    while (std::fgets(line, sizeof line, file.get()) != nullptr) {
      char user[kOwnerNameSize];
      if (!configDatUser(line, prefix, user, sizeof user)) continue;
      trace(ci, "GetInstallationOwner(): user '%s'", user);
      choice.add(user);
    }
  }
  char chosen[kOwnerNameSize];
  if (!choice.owner(chosen, sizeof chosen)) {
    trace(ci, "GetInstallationOwner(): Can NOT get  from config file is ");
    return;
  }
  formatMessage(owner, ownerSize, "%s", chosen);
  trace(ci, "GetInstallationOwner(): owner from config file is %s", owner);
}

}  // namespace

void GetInstallationOwner(ConnectionRecord* ci, char* owner, size_t ownerSize) {
  if (ci == nullptr || owner == nullptr || ownerSize == 0) return;
  if (ci->connInfo.version[0] < '3') {
    trace(ci, "GetInstallationOwner(): Ingres version is %s", ci->connInfo.version);
    trace(ci, "GetInstallationOwner(): Installation owner is 'ingres'");
    formatMessage(owner, ownerSize, "%s", "ingres");
    return;
  }
  if (ownerFromInstallLog(ci, owner, ownerSize)) return;
  char configPath[600];
  formatMessage(configPath, sizeof configPath, "%s\\ingres\\files\\config.dat",
                ci->installation.iiSystem);
  trace(ci, "GetInstallationOwner(): can NOT find owner in install.log, will look at  %s",
        configPath);
  ownerFromConfigDat(ci, configPath, owner, ownerSize);
}

}  // namespace ferry::agent
