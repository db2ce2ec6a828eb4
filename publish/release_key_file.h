#pragma once
// The operator's key files. keygen writes the private key to FILE, which only its owner
// may read, and the public key to FILE.pub, which the client build takes
// (-DCORVID_RELEASE_KEY=FILE.pub, read by cmake/release_key.cmake). Both are text:
//
//   Corvid Release Key
//   public ecdsa-p256 <128 hex digits: the point's x then y>
//   private ecdsa-p256 <64 hex digits>          FILE only
//
// Raw values rather than PEM, so that the Linux build (OpenSSL) and the Windows build
// (CNG, which takes raw values) read the same files without an ASN.1 reader.

#include <array>
#include <filesystem>
#include <string>

#include "patch/signing_values.h"

namespace corvid::publish {

using release_private_key = std::array<unsigned char, 32>;

struct release_key_pair {
  release_public_key public_key{};
  release_private_key private_key{};
};

std::string format_private_key_file(const release_key_pair& key);

// A public key file; a private one is refused, so that it is not copied where only the
// public key is needed. False with why in `error`.
bool read_public_key_file(const std::filesystem::path& path, release_public_key& key, std::string& error);
bool read_private_key_file(const std::filesystem::path& path, release_key_pair& key, std::string& error);

// Writes FILE (mode 0600 on Linux) and FILE.pub, each created new: when either exists,
// or the second cannot be written, nothing is left behind and `error` says why.
bool write_new_key_files(const std::filesystem::path& file, const release_key_pair& key, std::string& error);

}  // namespace corvid::publish
