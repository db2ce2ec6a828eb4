#include "publish/release_signing.h"

#include <cstdio>

#include "patch/signed_document.h"
#include "publish/options.h"
#include "publish/platform.h"

namespace corvid::publish {

bool create_release_key(const std::filesystem::path& file, std::string& error) {
  release_key_pair key;
  return generate_release_key(key, error) && write_new_key_files(file, key, error);
}

bool sign_release_document(std::string_view signed_bytes, std::span<const release_key_pair> keys, std::string& document,
                           std::string& error) {
  if (keys.empty() || keys.size() > max_document_signatures) {
    error = "a document takes 1 to " + std::to_string(max_document_signatures) + " signatures";
    return false;
  }
  std::string signed_document(signed_bytes);
  for (const release_key_pair& key : keys) {
    ecdsa_signature signature;
    if (!sign_release_bytes(key, signed_bytes, signature, error)) return false;
    if (!release_signature_verifies(key.public_key, signed_bytes, signature)) {
      error = "the private key does not belong to its public key " + std::string(hex_text(key.public_key).view());
      return false;
    }
    signed_document += signature_line(signature).view();
  }
  document = std::move(signed_document);
  return true;
}

bool check_release_document(std::string_view document, const release_public_key& key, std::string& error) {
  signed_document_parts parts;
  if (!split_signed_document(document, parts)) {
    error = "it is not a signed document: it does not end in one to four signature lines, or it is too long";
    return false;
  }
  for (int i = 0; i < parts.signature_count; ++i) {
    if (release_signature_verifies(key, parts.signed_bytes, parts.signatures[i])) return true;
  }
  error = parts.signature_count == 1 ? "its signature is not by this key, or the document has changed since"
                                     : "none of its signatures is by this key, or the document has changed since";
  return false;
}

int run_keygen(const std::filesystem::path& file) {
  std::string error;
  if (!create_release_key(file, error)) {
    std::fprintf(stderr, "corvid-publish keygen: %s\n", error.c_str());
    return exit_refused;
  }
  std::printf("wrote the private key %s (keep it off the server) and the public key %s.pub\n",
              display_path(file).c_str(), display_path(file).c_str());
  return exit_done;
}

}  // namespace corvid::publish
