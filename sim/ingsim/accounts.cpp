// The simulated account directory: HKLM\SOFTWARE\Norvane\IngresSim\Accounts\<name> with the
// REG_SZ values "Password" and "Domain" (empty for a local account). The agent's test build
// checks logons against it.
#include "ingsim/installation.h"
#include "ingsim/installation_internal.h"
#include "ingsim/win_util.h"

namespace ingsim {
namespace {

std::string validateAccountName(const std::string& name) {
  if (name.empty() || name.size() > 104) return "an account name must have 1 to 104 characters";
  if (name.find_first_of("\\/\"[]:|<>+=;,?*@") != std::string::npos) {
    return "the account name '" + name + "' holds a character that account names may not hold";
  }
  return "";
}

std::string setString(HKEY key, const char* name, const std::string& value) {
  LONG rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
  return rc == ERROR_SUCCESS ? "" : win32Error(std::string("writing the account's ") + name, rc);
}

}  // namespace

std::string addAccount(const Account& account) {
  std::string error = validateAccountName(account.name);
  if (!error.empty()) return error;
  const std::string keyName = std::string(kAccountsKey) + "\\" + account.name;
  UniqueKey key;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, /*class=*/nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_WRITE, /*security=*/nullptr, key.put(),
                            /*disposition=*/nullptr);
  if (rc != ERROR_SUCCESS) return win32Error("creating HKLM\\" + keyName, rc);
  error = setString(key.get(), "Password", account.password);
  if (error.empty()) error = setString(key.get(), "Domain", account.domain);
  return error;
}

std::string removeAccount(const std::string& name) {
  std::string error = validateAccountName(name);
  if (!error.empty()) return error;
  const std::string keyName = std::string(kAccountsKey) + "\\" + name;
  LONG rc = RegDeleteTreeA(HKEY_LOCAL_MACHINE, keyName.c_str());
  if (rc == ERROR_FILE_NOT_FOUND) return "account " + name + " does not exist";
  if (rc != ERROR_SUCCESS) return win32Error("deleting HKLM\\" + keyName, rc);
  rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyName.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
    return win32Error("deleting HKLM\\" + keyName, rc);
  }
  return "";
}

}  // namespace ingsim
