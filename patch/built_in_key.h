#pragma once
// The operator's public key, built into the client with -DCORVID_RELEASE_KEY=FILE.
// Each program links the key of its choice (cmake/release_key.cmake), so that one build
// can hold a client with the operator's key beside one with the tests' key. Only the
// key library reaches Windows' cryptography: a client built without a key does not
// load bcrypt.dll at all.

#include "core/byte_sink.h"
#include "patch/signing_values.h"

namespace corvid {

struct signed_document_parts;

// SHA-256 of bytes as they come.
class file_digest : public byte_sink {
 public:
  // Begins a digest, dropping one left unfinished.
  virtual bool start() = 0;
  virtual bool finish(sha256_digest& digest) = 0;

 protected:
  ~file_digest() = default;
};

// What a client checks releases with once a key is built in.
class release_checker {
 public:
  // True when one of the document's signatures is the built-in key's.
  virtual bool signed_by_release_key(const signed_document_parts& parts) = 0;
  virtual file_digest& digest() = 0;

 protected:
  ~release_checker() = default;
};

// Both null in a client built without a key: it checks no signature and runs as every
// client before signed releases did.
const release_public_key* built_in_release_key();
release_checker* built_in_release_checker();

}  // namespace corvid
