// The setup's texts and rules that need no Win32: which service names are Ingres installations,
// which config.dat line says an installation is configured, the agent key names and the values
// an agent key holds in their order, the account text that is enciphered, and the command line
// of the agent's configuration program.
//
// Conventions: platform-free (no windows.h); no exceptions; functions that can refuse return
// false or an empty optional and leave their out-parameters untouched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::setup {

inline constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";
inline constexpr char kIngresServicePrefix[] = "Ingres_Database_";
inline constexpr size_t kMaxInstallations = 100;

// Names below the product's root key.
inline constexpr char kDsAgentKey[] = "DSAgent";
inline constexpr char kAgentsKey[] = "DSAgent\\CurrentVersion\\agent";
inline constexpr char kPathKey[] = "DSAgent\\Path";
inline constexpr char kPathValue[] = "DbaIngPath";
inline constexpr char kAgentLibrary[] = "ferryman.dll";

// Limits of what is stored: the agent reads "Dll" and "BuildNumber" into 256-byte buffers.
inline constexpr size_t kMaxStoredText = 255;
inline constexpr size_t kMaxAccountText = 256;  // account name, and password, each
inline constexpr size_t kMaxEnciphered = 1560;

// The installation code of a service key name that contains "Ingres_Database_" (any case, as
// Windows compares service names): the rest of the name after it. None for other names and for
// a name that ends right after the marker.
std::optional<std::string> installationCodeOf(std::string_view serviceName);

// True for a config.dat line whose key contains ".config.dbms." and whose value is COMPLETE.
// Ingres pads the value to a column, so the blanks between the colon and the value vary.
bool isConfiguredDbmsLine(std::string_view line);

// The path by which a remote machine's file is reached through its administrative share:
// "C:\x" on machine M gives "\\M\C$\x". Paths that are not "<drive>:\..." give none.
std::optional<std::string> administrativeSharePath(std::string_view machine,
                                                   std::string_view localPath);

// "DSAgent\CurrentVersion\agent\ferryman" (empty code: the single-installation layout) or
// "...\ferryman@<code>" (the per-installation layout).
std::string agentKeyName(std::string_view code);

// The folder of an agent library path, up to and including its last backslash; none when the
// path holds no backslash.
std::optional<std::string> folderOfLibrary(std::string_view dllPath);

// The agent library's full path in `folder` (a trailing backslash is added when missing).
std::string agentLibraryPath(std::string_view folder);

// One value of an agent key, in the order it is written.
struct AgentValue {
  enum class Kind { kText, kNumber, kBytes };
  std::string name;
  Kind kind = Kind::kText;
  std::string text;     // kText
  uint32_t number = 0;  // kNumber
  // kBytes: the enciphered account, filled in by the caller (it needs the platform's
  // credential routine).
};

struct AgentKeyFacts {
  std::string code;         // empty: the single-installation layout
  std::string agentFolder;  // with or without trailing backslash
  std::string buildNumber;  // from the version stamp; empty: "012"
  std::string version;      // empty: "6.62"
  uint32_t prodSubType = 0;
  // The accounts besides SYSTEM, the Administrators and the connection's own that may open the
  // agent's remote pipe (the media server's service account), separated by ';'. Empty: none.
  std::string remotePipeAccounts;
};

// "Name", "Type", "Dll", "Server", "BuildNumber", "Version", "RestoreDir", "Debug",
// "ProdSubType" (0), "Em", "Es" (bytes, left empty), "ProdSubType" (the caller's),
// "RemotePipeAccounts".
std::vector<AgentValue> agentKeyValues(const AgentKeyFacts& facts);

// The entropy the agent account ("Es") is enciphered with, besides the machine's key: without it
// another program on the machine that reads the value cannot have it deciphered for itself by
// the Data Protection API. An "Es" of an earlier agent is enciphered without it.
inline constexpr char kAccountEntropy[] = "Norvane Halyard Tidewell DSAgent Es 1";

// The account as it is enciphered: name, one zero byte, password. False when either is longer
// than kMaxAccountText or the name is empty.
bool accountText(std::string_view name, std::string_view password, std::string* text);
// The reverse of accountText: false unless the text holds exactly one zero byte separator
// (a trailing zero byte after the password is accepted).
bool splitAccountText(std::string_view text, std::string* name, std::string* password);

// The leading number of a version text ("6.62" gives 6, "10.1" 10); none when it does not
// begin with a digit.
std::optional<int> majorVersionOf(std::string_view version);

// The configuration program's name: the first "%s" of `pattern` replaced by `languageId` (the
// pattern comes from a file, so it is never used as a printf format). Empty when the result
// would hold a further '%s'.
std::string configurationProgramName(std::string_view pattern, std::string_view languageId);

// "<program> /r:<file> /w:<file> /p:0 /m:<machine> /s:<type>", the program quoted.
std::string configurationCommandLine(std::string_view program, std::string_view configFile,
                                     std::string_view machine, int setupType);

// Silent profile key names of the installation at 1-based `position`: "SID<n>", "LoginID<n>",
// "Password<n>".
std::string profileCodeKey(int position);
std::string profileLoginKey(int position);
std::string profilePasswordKey(int position);

// Enciphered profile values are written as this prefix and the hexadecimal bytes.
inline constexpr char kEncipheredPrefix[] = "enc:";
std::string toHex(std::string_view bytes);
// False for an odd length or a character that is not a hexadecimal digit.
bool fromHex(std::string_view hex, std::string* bytes);

// True for a folder the agent can be installed into: a full local path "<drive>:\..." without
// characters Windows forbids in names, at most `maxLength` characters.
bool isAgentFolderAcceptable(std::string_view folder, size_t maxLength);

}  // namespace ferry::setup
