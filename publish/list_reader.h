#pragma once
// Reads published lists exactly as the update client does: its line buffers (an
// over-long line comes back as two), its field rule with optional double quotes, and
// the C library's lenient number conversions. Used to check a tree before players
// see it and to find what an earlier publish can lend the next one.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "publish/list_format.h"

// Line lengths of the client's buffers.
inline constexpr std::size_t header_line_limit = 1023;
inline constexpr std::size_t entry_line_limit = 511;

class line_reader {
 public:
  explicit line_reader(std::string_view text) : rest_(text) {}
  // The next line of at most `limit` characters, without its line feed and the
  // carriage return before it; false when the text is exhausted.
  bool next_line(std::size_t limit, std::string_view& line);
  bool at_end() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

// Takes one field off the front of `rest`; false when there is none or its closing
// quote is missing.
bool next_field(std::string_view& rest, std::string& field);
// strtoul with base 16, as a 32-bit unsigned long; leaves `value` when there is no field.
bool next_hex_field(std::string_view& rest, std::uint32_t& value);
// atoi, saturated instead of undefined on overflow.
long long decimal_value(std::string_view text);

// Reads the header, count and entry lines. `problem` says why a list is one the
// client refuses.
bool read_list_text(std::string_view text, std::vector<list_entry>& entries, std::string& problem);

// The four words after "CP~"; false when the bytes are too few or the magic differs.
bool decode_patch_header(std::string_view bytes, list_entry& manifest);
