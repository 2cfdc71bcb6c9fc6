#include "sha256.h"

#include <bcrypt.h>

#include <cstdio>

namespace ferry::ctl {
namespace {

bool succeeded(NTSTATUS status) { return status >= 0; }

}  // namespace

Sha256::Sha256() {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM,
                                                /*implementation=*/nullptr, /*flags=*/0);
  if (!succeeded(status)) {
    fail("BCryptOpenAlgorithmProvider", status);
    return;
  }
  algorithm_ = algorithm;
  reset();
}

Sha256::~Sha256() {
  destroyHash();
  if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, /*flags=*/0);
}

void Sha256::fail(const char* call, long status) {
  if (!error_.empty()) return;
  char text[96];
  std::snprintf(text, sizeof text, "%s failed: NTSTATUS 0x%08lx", call,
                static_cast<unsigned long>(status));
  error_ = text;
}

void Sha256::destroyHash() {
  if (hash_ != nullptr) BCryptDestroyHash(hash_);
  hash_ = nullptr;
}

void Sha256::reset() {
  destroyHash();
  if (algorithm_ == nullptr) return;
  BCRYPT_HASH_HANDLE hash = nullptr;
  // The system keeps the hash object's memory itself (no object buffer given).
  NTSTATUS status = BCryptCreateHash(algorithm_, &hash, /*hashObject=*/nullptr, 0,
                                     /*secret=*/nullptr, 0, /*flags=*/0);
  if (!succeeded(status)) {
    fail("BCryptCreateHash", status);
    return;
  }
  hash_ = hash;
}

void Sha256::update(std::span<const uint8_t> data) {
  if (hash_ == nullptr) return;
  while (!data.empty()) {
    ULONG piece = static_cast<ULONG>(std::min<size_t>(data.size(), 1u << 30));
    NTSTATUS status = BCryptHashData(hash_, const_cast<PUCHAR>(data.data()), piece, /*flags=*/0);
    if (!succeeded(status)) {
      fail("BCryptHashData", status);
      destroyHash();
      return;
    }
    data = data.subspan(piece);
  }
}

archive::Digest Sha256::finish() {
  archive::Digest digest{};
  if (hash_ == nullptr) {
    if (error_.empty()) fail("finish without a hash", 0);
    return digest;
  }
  NTSTATUS status = BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
  destroyHash();
  if (!succeeded(status)) {
    fail("BCryptFinishHash", status);
    digest.fill(0);
  }
  return digest;
}

std::string digestHex(const archive::Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

}  // namespace ferry::ctl
