#include "app/update_location.h"

#include "text/format_limits.h"
#include "text/lower_case.h"

namespace {

// False when the end of the file (or an error) comes before anything was read.
bool read_line(std::FILE* file, fixed_text<max_text_line_length + 1>& line) {
  line.clear();
  int c = std::getc(file);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::getc(file)) {
    if (line.size() < line.capacity) line.append(static_cast<char>(c));
  }
  return true;
}

}  // namespace

update_location_result read_update_location(std::FILE* file) {
  fixed_text<max_text_line_length + 1> line;
  if (!read_line(file, line) || !(line == list_header_text)) {
    return update_location_result::wrong_first_line;
  }
  if (!read_line(file, state.server_information_location) ||
      state.server_information_location.empty()) {
    state.server_information_location.clear();
    return update_location_result::no_location;
  }
  lower_case_in_place(state.server_information_location.buffer());

  // Each fallback is read only while the reads before it succeeded.
  for (auto& fallback : state.fallback_locations) {
    if (!read_line(file, fallback)) break;
    lower_case_in_place(fallback.buffer());
  }
  return update_location_result::read;
}
