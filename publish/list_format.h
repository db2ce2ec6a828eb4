#pragma once
// The lists the update client reads: entry lines, the update-client file list, the
// manifest text and the 19-byte patch header. Writing only; list_reader.h reads them
// back by the client's own rules.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct list_entry {
  std::string name;  // relative path with "/" separators, letter case as released
  std::uint32_t size = 0;
  std::uint32_t packed_size = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t time = 0;
};

inline constexpr std::string_view list_header_line = "Corvid Patch";
inline constexpr std::size_t max_list_entries = 7500;
inline constexpr std::size_t max_name_length = 255;
inline constexpr std::size_t patch_header_size = 19;

using patch_header_bytes = std::array<unsigned char, patch_header_size>;

// One entry line without its line feed; a name holding a comma is quoted.
std::string format_entry_line(const list_entry& entry);

// "Corvid Patch", the decimal count, then one entry line each, every line ended by a
// line feed. Used unchanged for the update-client file list and the manifest text.
std::string format_list_text(const std::vector<list_entry>& entries);

// "CP~" and the manifest's four words, little-endian.
patch_header_bytes encode_patch_header(const list_entry& manifest);
