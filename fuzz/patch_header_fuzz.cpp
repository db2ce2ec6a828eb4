// The patch header file as downloaded.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "patch/list_format.h"

namespace corvid {

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  file_entry manifest;
  if (parse_patch_header(data, size, manifest)) {
    if (size < patch_header_size || !(manifest.name == manifest_file_name)) std::abort();
  } else if (!manifest.name.empty()) {
    std::abort();
  }
  return 0;
}

}  // namespace corvid
