#include "patch/verification.h"

#include <direct.h>
#include <windows.h>

#include <memory>
#include <new>

#include "platform/handles.h"
#include "core/message_pump.h"
#include "core/update_state.h"
#include "patch/list_format.h"
#include "patch/local_files.h"
#include "text/paths.h"

namespace corvid {

namespace {

void add_to_fetch(file_entry& entry) {
  entry.needs_fetch = true;
  // Held at the top, so that an update too large to count cannot pass the size limit.
  std::uint32_t sum = state.total_bytes_to_fetch + entry.packed_size;
  state.total_bytes_to_fetch = sum < state.total_bytes_to_fetch ? 0xFFFFFFFFu : sum;
}

// Replaces the shared file list with the entries of `lines`. All entries are read
// before any file is looked at, so that a list that is refused has touched nothing.
bool load_file_list(line_source& lines, path_text& working_directory) {
  int count = 0;
  if (!read_list_header(lines, count)) return false;
  state.file_list.reset();
  state.file_list_count = 0;
  state.file_list.reset(new (std::nothrow) file_entry[count]);
  if (!state.file_list) return false;
  state.file_list_count = count;
  state.total_bytes_to_fetch = 0;
  if (_getcwd(working_directory.buffer(), working_directory.buffer_size()) == nullptr) {
    return false;
  }
  return read_entry_lines(lines, state.file_list.get(), count);
}

void show_checking_line(int number, int count) {
  const char* pattern = template_of(message::checking_file_of);
  fixed_text<256> line;
  line.format(pattern, number, count);
  shown_progress().status_line_2(line.c_str());
}

}  // namespace

void check_listed_file(file_entry& entry, const char* working_directory) {
  path_text path;
  WIN32_FIND_DATAA found;
  find_handle search;
  if (path.format("%s/%s", working_directory, entry.name.c_str())) {
    search.reset(FindFirstFileA(path.c_str(), &found));
  }
  if (!search || found_length(found) != entry.size) {
    add_to_fetch(entry);
    return;
  }
  search.reset();
  if (found_time_as_listed(found.ftLastWriteTime) == entry.time && !state.complete_file_check_flag) {
    entry.needs_fetch = false;
    return;
  }
  if (file_crc32(entry.name.c_str()) == entry.crc32) {
    stamp_file_time(entry.name.c_str(), entry.time);
    entry.needs_fetch = false;
  } else {
    add_to_fetch(entry);
  }
}

bool read_client_file_list(const char* path) {
  stdio_file file(std::fopen(path, "rb"));
  if (!file) return false;
  line_source lines(file.get());
  path_text working_directory;
  if (!load_file_list(lines, working_directory)) return false;
  file.reset();
  for (int i = 0; i < state.file_list_count; ++i) {
    if (state.cancel_flag) return false;
    check_listed_file(state.file_list[static_cast<std::size_t>(i)], working_directory.c_str());
  }
  return true;
}

bool check_product_files(const file_entry& manifest) {
  std::unique_ptr<unsigned char[]> text(new (std::nothrow) unsigned char[manifest.size]);
  std::size_t length = manifest.size;
  if (!text || !read_packed_file(manifest, text.get(), length)) return false;
  line_source lines(std::string_view(reinterpret_cast<const char*>(text.get()), length), line_ends::inflated_text);
  path_text working_directory;
  if (!load_file_list(lines, working_directory)) return false;
  text.reset();
  int count = state.file_list_count;
  for (int i = 0; i < count; ++i) {
    if (state.cancel_flag) return false;
    if (state.complete_file_check_flag) show_checking_line(i + 1, count);
    check_listed_file(state.file_list[static_cast<std::size_t>(i)], working_directory.c_str());
    pump_one_message();
  }
  return true;
}

}  // namespace corvid
