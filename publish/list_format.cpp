#include "publish/list_format.h"

#include <cstdio>

#include "core/file_entry.h"
#include "patch/list_format.h"
#include "text/line_source.h"

namespace corvid::publish {

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
  text += list_header_text;
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

list_entry from_client_entry(const file_entry& entry) {
  return {std::string(entry.name.view()), entry.size, entry.packed_size, entry.crc32, entry.time};
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

bool read_list_text(std::string_view text, std::vector<list_entry>& entries, std::string& problem) {
  line_source lines(text);
  list_text_line line;
  if (!lines.next(line, long_line::split) || !is_list_header_line(line)) {
    problem = "the first line is not \"Corvid Patch\"";
    return false;
  }
  int count = 0;
  if (!lines.next(line, long_line::split) || !parse_list_count(line, count)) {
    problem = "the count \"" + std::string(line.view()) + "\" is not between 1 and 7500";
    return false;
  }
  entries.clear();
  list_entry_line entry_line;
  for (int i = 0; i < count; ++i) {
    std::string where = "entry line " + std::to_string(i + 3);
    if (!lines.next(entry_line, long_line::split)) {
      problem = "the count is " + std::to_string(count) + " but only " + std::to_string(i) + " entry lines follow";
      return false;
    }
    if (entry_line.size() == max_entry_line_length) {
      problem = where + " holds 511 characters or more; the client reads it as two lines";
      return false;
    }
    file_entry entry;
    if (!parse_entry_line(entry_line, entry)) {
      problem = where +
                ": the client refuses its name (empty, over 255 characters, absolute, with a drive, "
                "\"..\", a device name or its own scratch file's name), and with it the whole list";
      return false;
    }
    entries.push_back(from_client_entry(entry));
  }
  return true;
}

bool decode_patch_header(std::string_view bytes, list_entry& manifest) {
  file_entry entry;
  if (!parse_patch_header(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), entry)) return false;
  manifest = from_client_entry(entry);
  return true;
}

}  // namespace corvid::publish
