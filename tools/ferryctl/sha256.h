// SHA-256 through the system's cryptography API (CNG, bcrypt.dll): the digest every archived
// file carries. One hash object is reused file after file (reset).
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

#include "core/archive_format.h"

namespace ferry::ctl {

class Sha256 final : public archive::DigestCalculator {
 public:
  Sha256();
  ~Sha256() override;
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void reset() override;
  void update(std::span<const uint8_t> data) override;
  archive::Digest finish() override;

  // "" while every call succeeded, else the first failure: the call and its NTSTATUS. A failed
  // calculator's digests are all zero and must not be trusted.
  const std::string& error() const { return error_; }

 private:
  void fail(const char* call, long status);
  void destroyHash();

  void* algorithm_ = nullptr;  // BCRYPT_ALG_HANDLE
  void* hash_ = nullptr;       // BCRYPT_HASH_HANDLE
  std::string error_;
};

// The digest as 64 lowercase hexadecimal digits.
std::string digestHex(const archive::Digest& digest);

}  // namespace ferry::ctl
