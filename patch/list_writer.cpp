#include <cstdio>

#include "patch/list_format.h"

namespace corvid {

patch_header_bytes encode_patch_header(const file_entry& manifest) {
  patch_header_bytes bytes{'C', 'P', '~'};
  std::uint32_t words[] = {manifest.size, manifest.packed_size, manifest.crc32, manifest.time};
  for (std::size_t i = 0; i < 16; ++i) bytes[3 + i] = static_cast<unsigned char>(words[i / 4] >> (8 * (i % 4)));
  return bytes;
}

std::string format_entry_line(const file_entry& entry) {
  char numbers[4 * 9 + 1];
  std::snprintf(numbers, sizeof numbers, "%x,%x,%x,%x,", static_cast<unsigned>(entry.size),
                static_cast<unsigned>(entry.packed_size), static_cast<unsigned>(entry.crc32),
                static_cast<unsigned>(entry.time));
  // The field rule ends an unquoted field at a comma; quotes cannot occur in a name.
  std::string_view name = entry.name.view();
  bool quoted = name.find(',') != std::string_view::npos;
  return numbers + std::string(quoted ? "\"" : "") + std::string(name) + (quoted ? "\"" : "");
}

std::string format_list_text(const std::vector<file_entry>& entries) {
  std::string text = std::string(list_header_text) + "\n" + std::to_string(entries.size()) + "\n";
  for (const file_entry& entry : entries) text += format_entry_line(entry) + "\n";
  return text;
}

}  // namespace corvid
