// CMesquiteRegistry: the product's registry branch of the local machine or of a remote one.
//
// Conventions:
// - Key names given to the member functions are relative to the product's root key
//   (HKLM\SOFTWARE\Norvane\<product root name>) unless a function says otherwise.
// - Results are Win32 error codes (ERROR_SUCCESS on success); out-parameters are written only
//   on success. No exceptions.
// - A remote machine's registry is reached through RegConnectRegistryA("\\<machine>").
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "unique_handle.h"

namespace ferry::setup {

class CMesquiteRegistry {
 public:
  // `productRoot`: the root key's path below HKLM ("SOFTWARE\Norvane\Halyard Tidewell").
  explicit CMesquiteRegistry(std::string productRoot);

  // Connects to the machine's HKLM: an empty name (or this computer's) means this machine.
  LONG open(const std::string& machine);
  HKEY machineKey() const { return remote_ ? remote_.get() : HKEY_LOCAL_MACHINE; }
  bool isRemote() const { return remote_.valid(); }
  const std::string& productRoot() const { return productRoot_; }
  // "<product root>\<subKey>" (no backslash added for an empty subKey).
  std::string fullName(const std::string& subKey) const;

  // Creates (or opens) <root>\<subKey> for writing and reading.
  LONG createKey(const std::string& subKey, UniqueKey* key) const;
  // The same for a key that holds a secret (an agent key with its account): the key is made
  // with, and an existing one is given, the secret key's DACL (protectSecretKey) before anything
  // is written into it.
  LONG createSecretKey(const std::string& subKey, UniqueKey* key) const;
  // Gives `key` an explicit DACL that is protected from inheritance: SYSTEM and the
  // Administrators full control (passed on to sub-keys), nobody else any access. The key needs
  // WRITE_DAC.
  static LONG protectSecretKey(HKEY key);
  // The accounts that the key's DACL lets read its values, as "DOMAIN\name" (a SID text for an
  // account that has no name here) joined by ", "; "" when the DACL cannot be read.
  static std::string readersOf(HKEY key);
  // Opens an absolute key below HKLM of the machine, for reading.
  LONG openAbsolute(const std::string& keyName, UniqueKey* key) const;
  LONG openKey(const std::string& subKey, UniqueKey* key) const;
  bool keyExists(const std::string& subKey) const;
  bool absoluteKeyExists(const std::string& keyName) const;

  static LONG setText(HKEY key, const char* name, const std::string& text);
  static LONG setNumber(HKEY key, const char* name, DWORD number);
  static LONG setBytes(HKEY key, const char* name, const std::string& bytes);
  // REG_SZ / REG_EXPAND_SZ (not expanded) of at most `maxBytes` bytes, NUL or not.
  static LONG readText(HKEY key, const char* name, std::string* text, DWORD maxBytes = 1024);
  static LONG readNumber(HKEY key, const char* name, DWORD* number);
  static LONG readBytes(HKEY key, const char* name, std::string* bytes, DWORD maxBytes = 4096);

  // Names of the sub-keys of <root>\<subKey> in index order (empty when it does not open).
  std::vector<std::string> subKeys(const std::string& subKey) const;
  // The same for an absolute key below HKLM.
  std::vector<std::string> absoluteSubKeys(const std::string& keyName) const;
  // Deletes <root>\<subKey> with everything below it; a missing key is success.
  LONG deleteTree(const std::string& subKey) const;
  // Deletes <root>\<subKey> when it has neither sub-keys nor values; true when deleted.
  bool deleteIfEmpty(const std::string& subKey) const;
  // The same for an absolute key below HKLM.
  bool deleteAbsoluteIfEmpty(const std::string& keyName) const;

 private:
  std::string productRoot_;
  UniqueKey remote_;
};

// True for "", ".", "localhost" and this computer's name (any case).
bool isLocalMachine(const std::string& machine);

}  // namespace ferry::setup
