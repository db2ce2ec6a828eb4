// The Windows build signs with Windows' own CNG and checks with the client's own code.
#include "publish/release_signing.h"

#include <cstdio>
#include <cstring>

#include "patch/sha256.h"
#include "patch/signature_check.h"
#include "platform/crypto_handles.h"

namespace corvid::publish {

namespace {

// CNG's private blob: its header, then x, y and the private value.
using private_blob = std::array<unsigned char, sizeof(BCRYPT_ECCKEY_BLOB) + 96>;

bool cng_failed(const char* what, NTSTATUS status, std::string& error) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(status));
  error = std::string("cannot ") + what + ": CNG status " + code;
  return false;
}

NTSTATUS open_ecdsa(algorithm_handle& algorithm) {
  BCRYPT_ALG_HANDLE opened = nullptr;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&opened, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
  algorithm.reset(opened);
  return status;
}

}  // namespace

bool generate_release_key(release_key_pair& key, std::string& error) {
  algorithm_handle algorithm;
  NTSTATUS status = open_ecdsa(algorithm);
  if (!BCRYPT_SUCCESS(status)) return cng_failed("open ECDSA P-256", status, error);
  BCRYPT_KEY_HANDLE generated = nullptr;
  status = BCryptGenerateKeyPair(algorithm.get(), &generated, 256, 0);
  key_handle made(generated);
  if (BCRYPT_SUCCESS(status)) status = BCryptFinalizeKeyPair(made.get(), 0);
  if (!BCRYPT_SUCCESS(status)) return cng_failed("make a P-256 key", status, error);
  private_blob blob;
  ULONG length = 0;
  status = BCryptExportKey(made.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), static_cast<ULONG>(blob.size()),
                           &length, 0);
  if (!BCRYPT_SUCCESS(status) || length != blob.size()) return cng_failed("read the new key", status, error);
  const unsigned char* values = blob.data() + sizeof(BCRYPT_ECCKEY_BLOB);
  std::memcpy(key.public_key.data(), values, key.public_key.size());
  std::memcpy(key.private_key.data(), values + key.public_key.size(), key.private_key.size());
  SecureZeroMemory(blob.data(), blob.size());
  return true;
}

bool sign_release_bytes(const release_key_pair& key, std::string_view bytes, ecdsa_signature& signature,
                        std::string& error) {
  algorithm_handle algorithm;
  NTSTATUS status = open_ecdsa(algorithm);
  if (!BCRYPT_SUCCESS(status)) return cng_failed("open ECDSA P-256", status, error);
  private_blob blob;
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PRIVATE_P256_MAGIC, static_cast<ULONG>(key.private_key.size())};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, key.public_key.data(), key.public_key.size());
  std::memcpy(blob.data() + sizeof header + key.public_key.size(), key.private_key.data(), key.private_key.size());
  BCRYPT_KEY_HANDLE imported = nullptr;
  status = BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, &imported, blob.data(),
                               static_cast<ULONG>(blob.size()), 0);
  key_handle signing_key(imported);
  SecureZeroMemory(blob.data(), blob.size());
  if (!BCRYPT_SUCCESS(status)) return cng_failed("take the private key", status, error);

  sha256_digest digest;
  if (!sha256_of(bytes, digest)) {
    error = "cannot hash with SHA-256";
    return false;
  }
  ULONG length = 0;
  status = BCryptSignHash(signing_key.get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()),
                          signature.data(), static_cast<ULONG>(signature.size()), &length, 0);
  if (!BCRYPT_SUCCESS(status) || length != signature.size()) return cng_failed("sign", status, error);
  return true;
}

bool release_signature_verifies(const release_public_key& key, std::string_view bytes,
                                const ecdsa_signature& signature) {
  release_key_check check;
  sha256_digest digest;
  return check.open(key) && sha256_of(bytes, digest) && check.verifies(digest, signature);
}

release_digest::release_digest() : state_(new sha256_hash) {
  if (!static_cast<sha256_hash*>(state_)->start()) {
    delete static_cast<sha256_hash*>(state_);
    state_ = nullptr;
  }
}

release_digest::~release_digest() { delete static_cast<sha256_hash*>(state_); }

bool release_digest::add(const void* bytes, std::size_t length) {
  return state_ != nullptr && static_cast<sha256_hash*>(state_)->add(bytes, length);
}

bool release_digest::finish(sha256_digest& digest) {
  bool finished = state_ != nullptr && static_cast<sha256_hash*>(state_)->finish(digest);
  delete static_cast<sha256_hash*>(state_);
  state_ = nullptr;
  return finished;
}

}  // namespace corvid::publish
