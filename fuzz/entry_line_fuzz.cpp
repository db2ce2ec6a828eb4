// One entry line of a file list, field by field and as a whole.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "patch/fields.h"
#include "patch/list_format.h"

namespace corvid {

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view whole(reinterpret_cast<const char*>(data), size);

  // Every field must lie inside the line and the rest must shrink, or a reader loops.
  std::string_view rest = whole;
  std::string_view before = rest;
  std::string_view field;
  while (next_field(rest, field)) {
    if (field.data() < whole.data() || field.data() + field.size() > whole.data() + whole.size()) {
      std::abort();
    }
    if (rest.size() >= before.size()) std::abort();
    before = rest;
  }

  file_entry entry;
  if (parse_entry_line(whole, entry)) {
    if (!listed_name_is_installable(entry.name.view())) std::abort();
  }
  std::uint32_t value = 0;
  std::string_view numbers = whole;
  next_hex_field(numbers, value, 16);
  parse_unsigned(whole, 10);
  parse_decimal(whole);
  return 0;
}

}  // namespace corvid
