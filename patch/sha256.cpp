#include "patch/sha256.h"

namespace corvid {

bool sha256_hash::start() {
  hash_.reset();
  if (!algorithm_) {
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
    algorithm_.reset(opened);
  }
  // CNG keeps the hash object itself when it is given no buffer for it.
  BCRYPT_HASH_HANDLE created = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm_.get(), &created, nullptr, 0, nullptr, 0, 0))) return false;
  hash_.reset(created);
  return true;
}

bool sha256_hash::add(const void* bytes, std::size_t length) {
  if (!hash_) return false;
  // CNG counts in 32 bits and takes the bytes as writable, though it only reads them.
  auto* next = static_cast<unsigned char*>(const_cast<void*>(bytes));
  while (length > 0) {
    ULONG piece = length > 0x40000000u ? 0x40000000u : static_cast<ULONG>(length);
    if (!BCRYPT_SUCCESS(BCryptHashData(hash_.get(), next, piece, 0))) return false;
    next += piece;
    length -= piece;
  }
  return true;
}

bool sha256_hash::finish(sha256_digest& digest) {
  if (!hash_) return false;
  bool finished = BCRYPT_SUCCESS(BCryptFinishHash(hash_.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
  hash_.reset();
  return finished;
}

bool sha256_of(std::string_view bytes, sha256_digest& digest) {
  sha256_hash hash;
  return hash.start() && hash.add(bytes) && hash.finish(digest);
}

}  // namespace corvid
