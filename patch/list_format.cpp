#include "patch/list_format.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "core/scratch_files.h"
#include "patch/fields.h"
#include "patch/windows_names.h"
#include "text/lower_case.h"

namespace corvid {

bool is_list_header_line(std::string_view line) { return line == list_header_text; }

bool parse_list_count(std::string_view line, int& count) {
  int value = parse_decimal(line);
  if (value < 1 || value > max_listed_files) return false;
  count = value;
  return true;
}

bool read_list_header(line_source& lines, int& count, list_findings* found) {
  list_text_line line;
  if (!lines.next(line, long_line::split) || !is_list_header_line(line)) {
    note(found, 1, list_finding::wrong_header, line.view());
    return false;
  }
  bool read = lines.next(line, long_line::split);
  if (read && parse_list_count(line, count)) return true;
  note(found, 2, list_finding::bad_count, line.view());
  return false;
}

namespace {

// Windows takes "./" for the folder itself and drops dots and blanks at the end of a
// name, so each of these names the client's own file in the installation folder.
bool names_the_client_file(std::string_view name, std::string_view client_file) {
  std::size_t last = name.find_last_of("/\\");
  std::size_t base_start = last == std::string_view::npos ? 0 : last + 1;
  if (name.substr(0, base_start).find_first_not_of("./\\") != std::string_view::npos) return false;
  std::string_view base = name.substr(base_start);
  while (!base.empty() && (base.back() == '.' || base.back() == ' ')) base.remove_suffix(1);
  return equal_ignoring_case(base, client_file);
}

}  // namespace

bool listed_name_is_installable(std::string_view name) {
  if (name.empty() || name.size() > decltype(file_entry::name)::capacity) return false;
  if (name.front() == '/' || name.front() == '\\') return false;
  if (name.find(':') != std::string_view::npos) return false;
  if (names_a_device(name) || names_a_scratch_copy(name)) return false;
  if (names_the_client_file(name, signed_document_file_name) || names_the_client_file(name, accepted_serials_file_name))
    return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

bool parse_entry_line(std::string_view line, file_entry& entry) {
  next_hex_field(line, entry.size, 16);
  next_hex_field(line, entry.packed_size, 16);
  next_hex_field(line, entry.crc32, 16);
  next_hex_field(line, entry.time, 16);
  std::string_view name;
  if (next_field(line, name) && !entry.name.assign(name)) return false;
  return listed_name_is_installable(entry.name.view());
}

bool read_entry_lines(line_source& lines, file_entry* entries, int count, list_findings* found) {
  list_entry_line line;
  for (int i = 0; i < count; ++i) {
    if (!lines.next(line, long_line::split)) {
      note(found, lines.line_number() + 1, list_finding::entry_missing, std::to_string(count));
      return false;
    }
    if (found != nullptr && line.size() == line.capacity)
      note(found, lines.line_number(), list_finding::entry_line_split);
    if (!parse_entry_line(line, entries[i])) {
      note(found, lines.line_number(), list_finding::name_refused, entries[i].name.view());
      return false;
    }
  }
  return true;
}

bool read_list(line_source& lines, std::vector<file_entry>& entries, list_findings* found) {
  int count = 0;
  if (!read_list_header(lines, count, found)) return false;
  entries.assign(static_cast<std::size_t>(count), file_entry());
  return read_entry_lines(lines, entries.data(), count, found);
}

namespace {

std::uint32_t little_endian_word(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

bool parse_patch_header(const unsigned char* bytes, std::size_t length, file_entry& manifest) {
  if (bytes == nullptr || length < patch_header_size) return false;
  if (std::memcmp(bytes, "CP~", 3) != 0) return false;
  manifest.name.assign(manifest_file_name);
  manifest.size = little_endian_word(bytes + 3);
  manifest.packed_size = little_endian_word(bytes + 7);
  manifest.crc32 = little_endian_word(bytes + 11);
  manifest.time = little_endian_word(bytes + 15);
  return true;
}

}  // namespace corvid
