#include "app/update_location.h"

#include <cstdio>

#include "platform/handles.h"
#include "text/format_limits.h"
#include "text/line_source.h"
#include "text/lower_case.h"

namespace corvid {

namespace {

// False when the end of the file (or an error) comes before anything was read.
bool read_line(line_source& lines, server_location& line) { return lines.next(line, long_line::cut); }

}  // namespace

update_location_result read_update_location(const char* path) {
  stdio_file opened(std::fopen(path, "r"));
  if (!opened) return update_location_result::cannot_open;
  // The stream is the runtime's text mode already.
  line_source lines(opened.get(), line_ends::as_read);
  server_location line;
  if (!read_line(lines, line) || !(line == list_header_text)) {
    return update_location_result::wrong_first_line;
  }
  if (!read_line(lines, state.server_information_location) || state.server_information_location.empty()) {
    state.server_information_location.clear();
    return update_location_result::no_location;
  }
  lower_case_in_place(state.server_information_location.buffer());

  // Each fallback is read only while the reads before it succeeded.
  for (auto& fallback : state.fallback_locations) {
    if (!read_line(lines, fallback)) break;
    lower_case_in_place(fallback.buffer());
  }
  return update_location_result::read;
}

}  // namespace corvid
