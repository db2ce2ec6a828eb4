#pragma once
// The check of a release's signature with Windows' own cryptography (CNG): ECDSA P-256
// over SHA-256, against the operator's public key.

#include "patch/signed_document.h"
#include "patch/signing_values.h"
#include "platform/crypto_handles.h"

namespace corvid {

class release_key_check {
 public:
  // False when CNG cannot take the key: a point that is not on the curve, for one.
  bool open(const release_public_key& key);
  // True only when `signature` is the key's over exactly `digest`.
  bool verifies(const sha256_digest& digest, const ecdsa_signature& signature) const;

 private:
  algorithm_handle algorithm_;
  key_handle key_;
};

// True when one of the document's signatures is `key`'s over its signed bytes.
bool document_signed_by(const release_public_key& key, const signed_document_parts& parts);

}  // namespace corvid
