#pragma once
// SHA-256 with Windows' own cryptography (CNG), fed a piece at a time, so that a file
// can be hashed while it arrives or inflates instead of being read again.

#include <cstddef>
#include <string_view>

#include "patch/signing_values.h"
#include "platform/crypto_handles.h"

namespace corvid {

class sha256_hash {
 public:
  // Begins a digest, dropping one left unfinished. The provider is opened by the first
  // start and kept for the next ones, since opening it costs far more than a file's
  // digest does.
  bool start();
  // False without a started digest.
  bool add(const void* bytes, std::size_t length);
  bool add(std::string_view bytes) { return add(bytes.data(), bytes.size()); }
  // Ends the digest; the next one needs a new start.
  bool finish(sha256_digest& digest);

 private:
  algorithm_handle algorithm_;
  hash_handle hash_;
};

bool sha256_of(std::string_view bytes, sha256_digest& digest);

}  // namespace corvid
