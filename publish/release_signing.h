#pragma once
// Signing releases: ECDSA P-256 over SHA-256, with OpenSSL's libcrypto in the Linux
// build and with Windows' own CNG in the Windows build, which checks signatures with the
// client's own code. Signatures from either verify with the other.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "patch/signing_values.h"
#include "publish/release_key_file.h"

namespace corvid::publish {

// The part each build provides.
// SHA-256 a piece at a time.
class release_digest {
 public:
  release_digest();
  ~release_digest();
  release_digest(const release_digest&) = delete;
  release_digest& operator=(const release_digest&) = delete;
  bool add(const void* bytes, std::size_t length);
  // Ends the digest; the object takes no more.
  bool finish(sha256_digest& digest);

 private:
  void* state_;
};
bool generate_release_key(release_key_pair& key, std::string& error);
bool sign_release_bytes(const release_key_pair& key, std::string_view bytes, ecdsa_signature& signature,
                        std::string& error);
bool release_signature_verifies(const release_public_key& key, std::string_view bytes,
                                const ecdsa_signature& signature);

// keygen: a new key pair in FILE and FILE.pub, neither of which may exist yet.
bool create_release_key(const std::filesystem::path& file, std::string& error);

// The signed bytes of a document followed by one signature line for each key. A key
// whose private half does not belong to its public half is refused, since no client
// built with that public key would accept what it signs.
bool sign_release_document(std::string_view signed_bytes, std::span<const release_key_pair> keys, std::string& document,
                           std::string& error);

// verify --key: whether one of the document's signatures is `key`'s over its signed bytes.
bool check_release_document(std::string_view document, const release_public_key& key, std::string& error);

}  // namespace corvid::publish
