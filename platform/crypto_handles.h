#pragma once
// The owners of Windows' own cryptography handles (CNG, bcrypt.dll): an algorithm
// provider, a key and a hash object. Each kind has its own close call.

#include <windows.h>
#include <bcrypt.h>

#include "platform/owned_handle.h"

namespace corvid {

struct algorithm_handle_traits {
  using handle_type = BCRYPT_ALG_HANDLE;
  static BCRYPT_ALG_HANDLE none() { return nullptr; }
  static bool valid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
};

struct key_handle_traits {
  using handle_type = BCRYPT_KEY_HANDLE;
  static BCRYPT_KEY_HANDLE none() { return nullptr; }
  static bool valid(BCRYPT_KEY_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_KEY_HANDLE h) { BCryptDestroyKey(h); }
};

struct hash_handle_traits {
  using handle_type = BCRYPT_HASH_HANDLE;
  static BCRYPT_HASH_HANDLE none() { return nullptr; }
  static bool valid(BCRYPT_HASH_HANDLE h) { return h != nullptr; }
  static void close(BCRYPT_HASH_HANDLE h) { BCryptDestroyHash(h); }
};

using algorithm_handle = owned_handle<algorithm_handle_traits>;
using key_handle = owned_handle<key_handle_traits>;
using hash_handle = owned_handle<hash_handle_traits>;

}  // namespace corvid
