// A whole list text as the client reads a manifest or its own file list: the header
// line, the count, then that many entry lines, from memory and from a stream, and as
// corvid-publish reads it, with findings.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "patch/list_format.h"

namespace corvid {

namespace {

struct list_reading {
  bool header = false;
  bool entries = false;
  std::vector<file_entry> taken;
};

list_reading read_list(line_source& lines) {
  list_reading result;
  int count = 0;
  result.header = read_list_header(lines, count);
  if (!result.header) return result;
  if (count < 1 || count > max_listed_files) std::abort();
  std::unique_ptr<file_entry[]> entries(new file_entry[count]);
  result.entries = read_entry_lines(lines, entries.get(), count);
  if (result.entries) {
    for (int i = 0; i < count; ++i) {
      if (!listed_name_is_installable(entries[i].name.view())) std::abort();
    }
    result.taken.assign(entries.get(), entries.get() + count);
  }
  return result;
}

bool same_entry(const file_entry& a, const file_entry& b) {
  return a.size == b.size && a.packed_size == b.packed_size && a.crc32 == b.crc32 && a.time == b.time &&
         a.name.view() == b.name.view();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // A stream is read in text mode, where a Ctrl-Z ends the file; text in memory has
  // no such mark, so the two are compared up to it.
  text = text.substr(0, text.find('\x1a'));
  line_source from_memory(text);
  list_reading in_memory = read_list(from_memory);

  // A downloaded list is read from its file, a published one from memory: both must
  // take the same entries.
  std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (stream == nullptr) return 0;
  line_source from_stream(stream);
  list_reading in_stream = read_list(from_stream);
  std::fclose(stream);
  if (in_memory.header != in_stream.header || in_memory.entries != in_stream.entries ||
      in_memory.taken.size() != in_stream.taken.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < in_memory.taken.size(); ++i) {
    if (!same_entry(in_memory.taken[i], in_stream.taken[i])) std::abort();
  }

  // Asking for findings changes nothing that is read, and a refused list says why.
  line_source told_lines(text);
  list_findings found;
  std::vector<file_entry> told;
  bool taken = read_list(told_lines, told, &found);
  if (taken != in_memory.entries || (!taken && found.empty())) std::abort();
  for (std::size_t i = 0; taken && i < told.size(); ++i) {
    if (!same_entry(told[i], in_memory.taken[i])) std::abort();
  }
  return 0;
}

}  // namespace corvid
