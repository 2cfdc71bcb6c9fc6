// Texts of the installation's own files: <root>\ingres\version.rel and, in
// <root>\ingres\files, install.log and config.dat.
//
// Lines end in a bare newline: readers open these files in text mode or in binary mode, and
// "the line without its last character" is then the same in both.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ingsim::core {

// The privileges that mark an installation owner in config.dat, in this order.
inline constexpr const char* kOwnerPrivileges = "SERVER_CONTROL,NET_ADMIN,MONITOR,TRUSTED";

// The release identifier of a major version: "II 2.6/0305 (int.w32/00)" or
// "II 3.0.3 (int.w32/109)". The major digit is the identifier's fourth character.
std::string releaseId(int majorVersion);

// version.rel: the release identifier, then a build line.
std::string versionRelText(int majorVersion);

struct InstallLogFacts {
  std::string root;
  std::string code;
  int majorVersion = 2;
  std::string owner;      // empty: no USERNAME= line
  std::string timestamp;  // as the caller formats it
};
std::string installLogText(const InstallLogFacts& facts);

struct ConfigDatFacts {
  std::string host;  // lower-case computer name, the key's second part
  std::string code;
  int majorVersion = 2;
  std::vector<std::string> privilegedUsers;  // each gets kOwnerPrivileges
};
// The configuration, including "ii.<host>.config.dbms.<release>: COMPLETE" and one
// "ii.<host>.privileges.user.<user>: SERVER_CONTROL,NET_ADMIN,MONITOR,TRUSTED" line per user.
std::string configDatText(const ConfigDatFacts& facts);

// The key prefix of the privilege lines for a host name ("ii.<lower-case host>.privileges.user.").
std::string privilegeKeyPrefix(std::string_view host);

std::string toLower(std::string_view text);

}  // namespace ingsim::core
