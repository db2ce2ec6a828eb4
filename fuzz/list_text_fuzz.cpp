// A whole list text as the client reads a manifest or its own file list: the header
// line, the count, then that many entry lines, from memory and from a stream.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "patch/list_format.h"
#include "patch/list_line_reader.h"

namespace {

void read_list(list_line_reader& lines) {
  int count = 0;
  if (!read_list_header(lines, count)) return;
  if (count < 1 || count > max_listed_files) std::abort();
  std::unique_ptr<file_entry[]> entries(new file_entry[count]);
  if (read_entry_lines(lines, entries.get(), count)) {
    for (int i = 0; i < count; ++i) {
      if (!listed_name_is_installable(entries[i].name.view())) std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  list_line_reader from_memory(text);
  read_list(from_memory);

  std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (stream != nullptr) {
    list_line_reader from_stream(stream);
    read_list(from_stream);
    std::fclose(stream);
  }
  return 0;
}
