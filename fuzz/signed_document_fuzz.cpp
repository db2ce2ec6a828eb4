// A signed document as the client fetches it: cut into its signed bytes and signatures,
// then read. The whole input is read as signed bytes too, so that the reader meets
// every input whether or not it ends in signatures.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "patch/signed_document.h"

namespace corvid {

namespace {

// The format has one spelling: whatever the reader takes, the writer gives back byte for
// byte, so no byte of a signed document can change without changing what it says.
void read_and_write_back(std::string_view signed_bytes) {
  signed_release release;
  std::vector<signed_file> files;
  bool taken = read_signed_release(signed_bytes, release, [&](const signed_file& file) {
    files.push_back(file);
    return true;
  });
  if (!taken) return;
  std::string written;
  if (static_cast<int>(files.size()) != release.file_count || !format_signed_release(release, files, written) ||
      written != signed_bytes) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view document(reinterpret_cast<const char*>(data), size);
  signed_document_parts parts;
  if (split_signed_document(document, parts)) {
    if (parts.signature_count < 1 || parts.signature_count > max_document_signatures ||
        document.substr(0, parts.signed_bytes.size()) != parts.signed_bytes ||
        parts.signed_bytes.size() + static_cast<std::size_t>(parts.signature_count) * signature_line_size != size) {
      std::abort();
    }
    read_and_write_back(parts.signed_bytes);
  }
  read_and_write_back(document);
  return 0;
}

}  // namespace corvid
