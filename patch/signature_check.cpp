#include "patch/signature_check.h"

#include <cstring>

#include "patch/cng_release_checker.h"
#include "patch/sha256.h"

namespace corvid {

bool release_key_check::open(const release_public_key& key) {
  key_.reset();
  algorithm_.reset();
  BCRYPT_ALG_HANDLE opened = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&opened, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return false;
  algorithm_.reset(opened);

  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + sizeof(release_public_key)];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(key.size() / 2)};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, key.data(), key.size());
  BCRYPT_KEY_HANDLE imported = nullptr;
  if (!BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm_.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported, blob,
                                          static_cast<ULONG>(sizeof blob), 0)))
    return false;
  key_.reset(imported);
  return true;
}

bool release_key_check::verifies(const sha256_digest& digest, const ecdsa_signature& signature) const {
  if (!key_) return false;
  // CNG takes both as writable, though it only reads them.
  return BCryptVerifySignature(key_.get(), nullptr, const_cast<unsigned char*>(digest.data()),
                               static_cast<ULONG>(digest.size()), const_cast<unsigned char*>(signature.data()),
                               static_cast<ULONG>(signature.size()), 0) == 0;
}

bool document_signed_by(const release_public_key& key, const signed_document_parts& parts) {
  release_key_check check;
  sha256_digest digest;
  if (!check.open(key) || !sha256_of(parts.signed_bytes, digest)) return false;
  for (int i = 0; i < parts.signature_count; ++i) {
    if (check.verifies(digest, parts.signatures[i])) return true;
  }
  return false;
}

bool cng_release_checker::signed_by_release_key(const signed_document_parts& parts) {
  return document_signed_by(key_, parts);
}

}  // namespace corvid
