#pragma once
// The lists the update client reads: entry lines, the update-client file list, the
// manifest text and the 19-byte patch header. Written here; read back with the
// client's own readers, so that what is checked is what players get.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/format_limits.h"

namespace corvid::publish {

struct list_entry {
  std::string name;  // relative path with "/" separators, letter case as released
  std::uint32_t size = 0;
  std::uint32_t packed_size = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t time = 0;
};

using patch_header_bytes = std::array<unsigned char, patch_header_size>;

// One entry line without its line feed; a name holding a comma is quoted.
std::string format_entry_line(const list_entry& entry);

// "Corvid Patch", the decimal count, then one entry line each, every line ended by a
// line feed. Used unchanged for the update-client file list and the manifest text.
std::string format_list_text(const std::vector<list_entry>& entries);

// "CP~" and the manifest's four words, little-endian.
patch_header_bytes encode_patch_header(const list_entry& manifest);

// Reads a list as the client does. False, with why in `problem`, for a list the
// client refuses, and for one it would read otherwise than it reads here: an entry
// line too long for its buffer comes back in two.
bool read_list_text(std::string_view text, std::vector<list_entry>& entries, std::string& problem);

// The four words after "CP~"; false when the bytes are too few or the magic differs.
bool decode_patch_header(std::string_view bytes, list_entry& manifest);

}  // namespace corvid::publish
