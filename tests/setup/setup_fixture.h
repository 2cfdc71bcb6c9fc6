// What the setup tests share: rigger.dll loaded with its exports bound, the product's registry
// branch owned by the test, agent key values read back in their stored order, an account
// deciphered with the Data Protection API directly, and dialogs answered as a person would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "rigger.h"
#include "unique_handle.h"

namespace ferry::test {

inline constexpr char kProductRoot[] = "SOFTWARE\\Norvane\\Halyard Tidewell";
inline constexpr char kAgentsKey[] =
    "SOFTWARE\\Norvane\\Halyard Tidewell\\DSAgent\\CurrentVersion\\agent";

struct RiggerApi {
  HMODULE module = nullptr;
  decltype(&::CreateDBAgentSubKeys) CreateDBAgentSubKeys = nullptr;
  decltype(&::GetExistDBAgentSysInformation) GetExistDBAgentSysInformation = nullptr;
  decltype(&::Install) Install = nullptr;
  decltype(&::Uninstall) Uninstall = nullptr;
  decltype(&::ServerAccountDlg) ServerAccountDlg = nullptr;
  decltype(&::CreateSilentConfigIni) CreateSilentConfigIni = nullptr;
  decltype(&::CheckInstallInfo) CheckInstallInfo = nullptr;
  decltype(&::RiggerGetProductInfo) GetProductInfo = nullptr;
  decltype(&::CreateConfigProfile) CreateConfigProfile_ = nullptr;
  // "" or what did not load or bind.
  std::string load(const std::string& path);
  ~RiggerApi();
};

// Removes the agent's branch (DSAgent, the product descriptors, saved settings, the upgrade
// marker's parent) at both ends of a test: the tests that hold the lock "agent_machine_state"
// own it.
class ScopedProductBranch {
 public:
  ScopedProductBranch() { clear(); }
  ~ScopedProductBranch() { clear(); }
  ScopedProductBranch(const ScopedProductBranch&) = delete;
  ScopedProductBranch& operator=(const ScopedProductBranch&) = delete;
  static void clear();
};

struct StoredValue {
  std::string name;
  DWORD type = 0;
  std::string data;
  std::string text() const;  // REG_SZ without its NUL
  DWORD number() const;      // REG_DWORD
};
// Every value of HKLM\<key> in enumeration (that is, stored) order; empty when it does not open.
std::vector<StoredValue> storedValues(const std::string& key);
std::string valueNames(const std::vector<StoredValue>& values);
const StoredValue* findValue(const std::vector<StoredValue>& values, const std::string& name);
bool keyExists(const std::string& key);
void deleteKeyTree(const std::string& key);
LONG writeText(const std::string& key, const char* name, const std::string& text);
LONG writeNumber(const std::string& key, const char* name, DWORD number);

// CryptProtectData (machine scope, without entropy, as an earlier agent's setup did) of `text`;
// "" when it fails.
std::string enciphered(const std::string& text);
// CryptUnprotectData of `blob` with the setup's entropy for the account (or without any):
// "name|password" (the zero byte shown as '|'), or "<error N>".
enum class Entropy { kAccount, kNone };
std::string decipheredAccount(const std::string& blob, Entropy entropy = Entropy::kAccount);

// The DACL of HKLM\<key> as SDDL ("D:P(A;CI;KA;;;SY)..."), or "<error N>".
std::string keyDacl(const std::string& key);
// The DACL setup gives a key that holds an account: SYSTEM and the Administrators only,
// protected from what HKLM\SOFTWARE passes on.
inline constexpr char kSecretKeyDacl[] = "D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)";

void writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);

// Waits (at most 10 s) for a top-level window titled `title` of this process, runs `fill` on
// it, and presses the button `button`. Runs on its own thread; join() gives "" or what failed.
class DialogAnswer {
 public:
  DialogAnswer(std::string title, std::function<void(HWND)> fill, int button);
  ~DialogAnswer();
  std::string join();

 private:
  // The thread that waits for the window; WINAPI, as CreateThread calls it on x86 too.
  static DWORD WINAPI watchForWindow(void* self);
  UniqueHandleNull thread_;
  std::string title_;
  std::function<void(HWND)> fill_;
  int button_;
  std::string error_ = "not run";
};

}  // namespace ferry::test
