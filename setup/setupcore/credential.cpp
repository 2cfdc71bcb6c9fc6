#include "credential.h"

#include <wincrypt.h>

#include "rules/setup_text.h"
#include "unique_handle.h"

namespace ferry::setup {
namespace {

// The description DPAPI stores beside the data; it is not secret.
constexpr wchar_t kDescription[] = L"Ingres database agent account";

void wipe(std::string* text) {
  if (!text->empty()) SecureZeroMemory(text->data(), text->size());
  text->clear();
}

// A blob DPAPI allocated: wiped before LocalFree gives it back, since it may hold the plain text.
struct LocalBlob {
  DATA_BLOB blob = {};
  ~LocalBlob() {
    UniqueLocalMemory<BYTE> memory(blob.pbData);
    if (memory) SecureZeroMemory(memory.get(), blob.cbData);
  }
};

DATA_BLOB accountEntropy() {
  return {static_cast<DWORD>(sizeof kAccountEntropy - 1),
          reinterpret_cast<BYTE*>(const_cast<char*>(kAccountEntropy))};
}

DWORD protect(const std::string& plain, DATA_BLOB* entropy, std::string* blob) {
  DATA_BLOB in = {static_cast<DWORD>(plain.size()),
                  reinterpret_cast<BYTE*>(const_cast<char*>(plain.data()))};
  LocalBlob out;
  if (!CryptProtectData(&in, kDescription, entropy, /*reserved=*/nullptr,
                        /*prompt=*/nullptr, CRYPTPROTECT_LOCAL_MACHINE | CRYPTPROTECT_UI_FORBIDDEN,
                        &out.blob)) {
    return GetLastError();
  }
  if (out.blob.cbData > kMaxEnciphered) return ERROR_INSUFFICIENT_BUFFER;
  blob->assign(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
  return ERROR_SUCCESS;
}

DWORD unprotect(const std::string& blob, DATA_BLOB* entropy, std::string* plain) {
  if (blob.empty() || blob.size() > kMaxEnciphered) return ERROR_INVALID_DATA;
  DATA_BLOB in = {static_cast<DWORD>(blob.size()),
                  reinterpret_cast<BYTE*>(const_cast<char*>(blob.data()))};
  LocalBlob out;
  if (!CryptUnprotectData(&in, /*description=*/nullptr, entropy, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, &out.blob)) {
    return GetLastError();
  }
  plain->assign(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD encipherText(const std::string& plain, std::string* blob) {
  return protect(plain, /*entropy=*/nullptr, blob);
}

DWORD decipherText(const std::string& blob, std::string* plain) {
  return unprotect(blob, /*entropy=*/nullptr, plain);
}

DWORD encipherAccount(const std::string& name, const std::string& password, std::string* blob) {
  std::string text;
  if (!accountText(name, password, &text)) return ERROR_INVALID_PARAMETER;
  DATA_BLOB entropy = accountEntropy();
  DWORD rc = protect(text, &entropy, blob);
  wipe(&text);
  return rc;
}

DWORD decipherAccount(const std::string& blob, std::string* name, std::string* password,
                      bool* legacy) {
  if (legacy != nullptr) *legacy = false;
  std::string text;
  DATA_BLOB entropy = accountEntropy();
  DWORD rc = unprotect(blob, &entropy, &text);
  if (rc != ERROR_SUCCESS) {
    // An earlier agent enciphered the account without the entropy.
    if (unprotect(blob, /*entropy=*/nullptr, &text) != ERROR_SUCCESS) return rc;
    if (legacy != nullptr) *legacy = true;
  }
  bool ok = splitAccountText(text, name, password);
  wipe(&text);
  return ok ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

}  // namespace ferry::setup
