#pragma once
// The process-wide state of one update run. This is the one place where state shared
// between subsystems lives; there is one thread, so nothing is locked.

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <memory>

#include "core/file_entry.h"
#include "core/progress_view.h"
#include "platform/handles.h"
#include "text/fixed_text.h"
#include "text/format_limits.h"
#include "text/messages.h"
#include "text/string_table.h"

namespace corvid {

// Read from a line of update.dat or of the server information file.
using server_location = fixed_text<max_text_line_length + 1>;

// Counters of the transfer display: written by the file fetcher, read by the display.
struct progress_counters {
  std::uint32_t overall_bytes_done = 0;  // never reset during a run
  std::uint32_t overall_bytes_total = 0;
  std::uint32_t overall_start_time = 0;  // timeGetTime milliseconds
  std::uint32_t file_bytes_done = 0;
  std::uint32_t file_bytes_total = 0;
};

inline constexpr int alternate_host_slots = 10;
enum host_column { client_column = 0, product_column = 1 };

struct update_state {
  // Run control.
  std::uint32_t driver_state = 0;
  std::uint8_t cancel_flag = 0;  // set by Cancel or a "down" notice, never cleared
  std::int32_t last_error_code = 0;
  std::int32_t complete_file_check_flag = 0;
  std::uint8_t readme_fetched_flag = 0;
  std::uint8_t redirected_flag = 0;

  // Server locations: host or host/path, no scheme, no trailing "/".
  server_location server_information_location;
  server_location fallback_locations[3];
  server_location client_host;
  server_location product_host;
  server_location client_header_host;
  server_location product_header_host;
  // [column][slot]: slot k of both columns forms mirror pair k.
  server_location alternate_host_table[2][alternate_host_slots];
  std::int32_t alternate_host_count = 0;
  std::int32_t next_host_index = 0;
  std::uint32_t max_patch_size = 0;  // bytes; 0 means no limit

  // Files to fetch, rebuilt by every file check.
  std::unique_ptr<file_entry[]> file_list;
  std::int32_t file_list_count = 0;
  std::uint32_t total_bytes_to_fetch = 0;
  progress_counters progress;

  // Captured at start-up, and handles.
  fixed_text<1024> launch_arguments;
  fixed_text<256> installation_directory;
  std::int32_t file_time_bias = 0;
  HINSTANCE instance_handle = nullptr;
  HWND progress_window = nullptr;
  progress_view* view = nullptr;  // what workers show progress through
  corvid::string_table string_table;
  internet_handle internet_session;
};

extern update_state state;

// Puts every variable back to its start value, releasing what the state owns.
// For tests; a run never resets its state.
void reset_update_state();

// Leaves `code` as the reason of a failure, for `return fail(code);`.
inline bool fail(std::int32_t code) {
  state.last_error_code = code;
  return false;
}

// A message in the player's language: its text, or a template whose conversions are
// the program's own.
inline const char* text_of(message number) { return message_text(state.string_table, number); }
inline const char* template_of(message number) { return message_template(state.string_table, number); }

}  // namespace corvid
