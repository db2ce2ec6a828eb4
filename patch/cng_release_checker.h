#pragma once
// The release checker of a client with a built-in key, on Windows' own CNG.

#include "patch/built_in_key.h"
#include "patch/sha256.h"

namespace corvid {

class cng_release_checker final : public release_checker {
 public:
  explicit cng_release_checker(const release_public_key& key) : key_(key) {}

  bool signed_by_release_key(const signed_document_parts& parts) override;
  file_digest& digest() override { return digest_; }

 private:
  class cng_digest final : public file_digest {
   public:
    bool start() override { return hash_.start(); }
    bool take(const unsigned char* bytes, std::size_t length) override { return hash_.add(bytes, length); }
    bool finish(sha256_digest& digest) override { return hash_.finish(digest); }

   private:
    sha256_hash hash_;
  };

  release_public_key key_;
  cng_digest digest_;
};

}  // namespace corvid
