#include "publish/list_format.h"

#include <cstdio>

std::string format_entry_line(const list_entry& entry) {
  char numbers[4 * 9 + 1];
  std::snprintf(numbers, sizeof numbers, "%x,%x,%x,%x,", static_cast<unsigned>(entry.size),
                static_cast<unsigned>(entry.packed_size), static_cast<unsigned>(entry.crc32),
                static_cast<unsigned>(entry.time));
  std::string line = numbers;
  // The field rule ends an unquoted field at a comma; quotes cannot occur in a name.
  if (entry.name.find(',') != std::string::npos) {
    line += '"';
    line += entry.name;
    line += '"';
  } else {
    line += entry.name;
  }
  return line;
}

std::string format_list_text(const std::vector<list_entry>& entries) {
  std::string text;
  text += list_header_line;
  text += '\n';
  text += std::to_string(entries.size());
  text += '\n';
  for (const list_entry& entry : entries) {
    text += format_entry_line(entry);
    text += '\n';
  }
  return text;
}

namespace {
void put_word(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}
}  // namespace

patch_header_bytes encode_patch_header(const list_entry& manifest) {
  patch_header_bytes bytes{'C', 'P', '~'};
  put_word(&bytes[3], manifest.size);
  put_word(&bytes[7], manifest.packed_size);
  put_word(&bytes[11], manifest.crc32);
  put_word(&bytes[15], manifest.time);
  return bytes;
}
