// The setup's information files: CSetupInf reads "setup.inf" beside the setup program, CSetupIcf
// reads and writes the silent configuration profile (an .ini file the caller names).
//
// setup.inf:                      silent profile:
//   [Product]                       [DBAINGRES]
//   SubType=<number>                TotalSID=<n>          (1 to 100)
//   ConfigProgram=<name, %s ok>     SID<i>=<code>         (i = 1..n)
//                                   LoginID<i>=<account>
//                                   Password<i>=<password, or "enc:" and enciphered hex>
//                                   AgentPath=<folder>
//                                 [UserInfo]  FullName=, CompanyName=
//                                 [Account Info]  ID= (default "sa"), Password= (default "")
//                                 [Language]  LangID= (default "0409")
//
// Conventions: paths are full paths; functions return "" on success or a message that says
// what is wrong (never a password); no exceptions.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ferry::setup {

struct SetupInfFacts {
  DWORD prodSubType = 0;
  std::string configProgram;  // empty: none named
};

class CSetupInf {
 public:
  // `folder`: the setup program's folder. A missing file gives the defaults.
  static SetupInfFacts read(const std::string& folder);
};

struct ProfileInstallation {
  std::string code;
  std::string login;
  std::string password;
};

struct SilentProfile {
  std::vector<ProfileInstallation> installations;
  std::string agentPath;  // empty: none given
  std::string fullName;
  std::string companyName;
};

class CSetupIcf {
 public:
  // Reads the whole profile; a value written enciphered ("enc:...") is deciphered.
  static std::string read(const std::string& path, SilentProfile* profile);
  // Only the agent folder ("" when the file or value is missing).
  static std::string agentPath(const std::string& path);
  static std::string writeAgentPath(const std::string& path, const std::string& folder);
  // [Account Info] ID and Password, with their defaults.
  static void accountInfo(const std::string& path, std::string* id, std::string* password);
  static std::string languageId(const std::string& path);
  // "enc:" and the hexadecimal form of the enciphered text, for writing a profile.
  static std::string encipheredValue(const std::string& plain);
};

}  // namespace ferry::setup
