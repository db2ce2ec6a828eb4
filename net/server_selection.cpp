#include "net/server_selection.h"

#include <cstdio>
#include <cstdlib>

#include "platform/handles.h"
#include "core/shutdown.h"
#include "core/update_state.h"
#include "net/download.h"
#include "net/server_info.h"

namespace corvid {

namespace {

enum server_info_error : std::int32_t {
  server_info_cannot_open = 103,
  server_info_wrong_first_line = 104,
  server_info_no_client_host = 105,
  server_info_no_product_host = 106,
};

bool download_server_information() {
  url_text url;
  if (!url.format("http://%s", state.server_information_location.c_str())) {
    state.last_error_code = download_cannot_open_url;
    return false;
  }
  download_request request;
  request.url = url.c_str();
  request.local_path = server_scratch_file;
  request.hidden = true;
  return download_to_file(request);
}

bool fetch_server_information() {
  if (download_server_information()) return true;
  // A redirected location has no fallbacks of its own.
  if (state.redirected_flag) return false;
  for (const server_location& fallback : state.fallback_locations) {
    if (fallback.empty()) break;
    state.server_information_location = fallback;
    if (download_server_information()) return true;
  }
  return false;
}

// The server information file has served its purpose.
bool finish(bool result) {
  Sleep(100);
  DeleteFileA(server_scratch_file);
  return result;
}

void use_hosts_as_header_hosts() {
  state.client_header_host = state.client_host;
  state.product_header_host = state.product_host;
}

void take_alternate_hosts(const server_info& info) {
  int count = info.alternate_host_count;
  // The slot that ended the table was cleared too; the ones after it keep what they held.
  int slots_read = count < alternate_host_slots ? count + 1 : alternate_host_slots;
  for (int slot = 0; slot < slots_read; ++slot) {
    state.alternate_host_table[client_column][slot] = info.alternate_hosts[0][slot].view();
    state.alternate_host_table[product_column][slot] = info.alternate_hosts[1][slot].view();
  }
  state.alternate_host_count = count;
  if (count == 0) {
    use_hosts_as_header_hosts();
    return;
  }
  int drawn = std::rand() % count;
  state.client_host = state.alternate_host_table[client_column][drawn];
  state.product_host = state.alternate_host_table[product_column][drawn];
  state.next_host_index = drawn + 1 == count ? 0 : drawn + 1;
  state.client_header_host = state.alternate_host_table[client_column][state.next_host_index];
  state.product_header_host = state.alternate_host_table[product_column][state.next_host_index];
}

bool act_on(const server_info& info) {
  switch (info.outcome) {
    case server_info_outcome::wrong_first_line:
      // Left on disk: it is what the server answered, for whoever looks.
      state.last_error_code = server_info_wrong_first_line;
      return false;
    case server_info_outcome::no_client_host:
      state.client_host.clear();
      state.last_error_code = server_info_no_client_host;
      return finish(false);
    default: break;
  }
  state.client_host = info.client_host.view();
  state.product_host = info.product_host.view();
  if (info.max_patch_size_given) state.max_patch_size = info.max_patch_size;

  switch (info.outcome) {
    case server_info_outcome::no_product_host:
      state.last_error_code = server_info_no_product_host;
      return finish(false);
    case server_info_outcome::down:
      state.cancel_flag = 1;
      MessageBoxA(nullptr, info.down_notice.c_str(), text_of(message::server_status_caption), MB_ICONWARNING);
      // Kept until the shutdown clean-up.
      return false;
    case server_info_outcome::redirected:
      state.server_information_location = info.new_location.view();
      state.redirected_flag = 1;
      return finish(false);
    case server_info_outcome::header_hosts_given:
      state.client_header_host = info.client_header_host.view();
      state.product_header_host = info.product_header_host.view();
      return finish(true);
    case server_info_outcome::alternate_hosts: take_alternate_hosts(info); return finish(true);
    default: use_hosts_as_header_hosts(); return finish(true);
  }
}

}  // namespace

bool select_update_server() {
  if (!fetch_server_information()) return false;
  server_info info;
  {
    stdio_file file(std::fopen(server_scratch_file, "rb"));
    if (!file) {
      state.last_error_code = server_info_cannot_open;
      return false;
    }
    line_source lines(file.get());
    info = read_server_info(lines);
  }
  return act_on(info);
}

}  // namespace corvid
