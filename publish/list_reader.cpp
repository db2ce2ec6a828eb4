#include "publish/list_reader.h"

#include <cctype>

bool line_reader::next_line(std::size_t limit, std::string_view& line) {
  if (rest_.empty()) return false;
  std::size_t take = rest_.size() < limit ? rest_.size() : limit;
  std::size_t feed = rest_.substr(0, take).find('\n');
  if (feed == std::string_view::npos && take < rest_.size() && rest_[take] == '\n' && take > 0 &&
      rest_[take - 1] == '\r') {
    // In text mode the pair is one character, so it still fits the buffer.
    feed = take;
  }
  if (feed != std::string_view::npos) {
    line = rest_.substr(0, feed);
    rest_.remove_prefix(feed + 1);
  } else {
    line = rest_.substr(0, take);
    rest_.remove_prefix(take);
  }
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

bool next_field(std::string_view& rest, std::string& field) {
  if (rest.empty()) return false;
  std::string taken;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    char c = rest[i];
    if (c == ',') {
      rest.remove_prefix(i + 1);
      field = taken;
      return true;
    }
    if (c == '\n') break;
    if (c == '"') {
      std::size_t close = rest.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      field = std::string(rest.substr(i + 1, close - i - 1));
      rest.remove_prefix(close + 1);
      if (!rest.empty() && rest.front() == ',') rest.remove_prefix(1);
      return true;
    }
    taken += c;
  }
  rest = {};
  field = taken;
  return true;
}

namespace {
int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_c_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

bool next_hex_field(std::string_view& rest, std::uint32_t& value) {
  std::string field;
  if (!next_field(rest, field)) return false;
  std::size_t i = 0;
  while (i < field.size() && is_c_space(field[i])) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  if (i + 2 < field.size() && field[i] == '0' && (field[i + 1] == 'x' || field[i + 1] == 'X') &&
      hex_digit(field[i + 2]) >= 0) {
    i += 2;
  }
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (; i < field.size() && hex_digit(field[i]) >= 0; ++i) {
    magnitude = magnitude * 16 + static_cast<unsigned>(hex_digit(field[i]));
    if (magnitude > 0xFFFFFFFFu) {
      overflow = true;
      magnitude = 0xFFFFFFFFu;
    }
  }
  if (overflow) {
    value = 0xFFFFFFFFu;
  } else {
    std::uint32_t low = static_cast<std::uint32_t>(magnitude);
    value = negative ? static_cast<std::uint32_t>(0u - low) : low;
  }
  return true;
}

long long decimal_value(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (value < 1'000'000'000'000LL) value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

bool read_list_text(std::string_view text, std::vector<list_entry>& entries, std::string& problem) {
  line_reader reader(text);
  std::string_view line;
  if (!reader.next_line(header_line_limit, line) || line != list_header_line) {
    problem = "the first line is not \"Corvid Patch\"";
    return false;
  }
  if (!reader.next_line(header_line_limit, line)) {
    problem = "the count line is missing";
    return false;
  }
  long long count = decimal_value(line);
  if (count < 1 || count > static_cast<long long>(max_list_entries)) {
    problem = "the count \"" + std::string(line) + "\" is not between 1 and 7500";
    return false;
  }
  entries.clear();
  for (long long i = 0; i < count; ++i) {
    if (!reader.next_line(entry_line_limit, line)) {
      problem = "the count is " + std::to_string(count) + " but only " + std::to_string(i) +
                " entry lines follow";
      return false;
    }
    list_entry entry;
    std::string_view rest = line;
    next_hex_field(rest, entry.size);
    next_hex_field(rest, entry.packed_size);
    next_hex_field(rest, entry.crc32);
    next_hex_field(rest, entry.time);
    next_field(rest, entry.name);
    entries.push_back(entry);
  }
  return true;
}

namespace {
std::uint32_t get_word(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}
}  // namespace

bool decode_patch_header(std::string_view bytes, list_entry& manifest) {
  if (bytes.size() < patch_header_size || bytes.substr(0, 3) != "CP~") return false;
  manifest.name = "gfl.mft";
  manifest.size = get_word(bytes, 3);
  manifest.packed_size = get_word(bytes, 7);
  manifest.crc32 = get_word(bytes, 11);
  manifest.time = get_word(bytes, 15);
  return true;
}
