// The server information file as downloaded, read the way server selection reads it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/server_info.h"

namespace corvid {

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (stream == nullptr) return 0;
  line_source lines(stream);
  server_info info = read_server_info(lines);
  std::fclose(stream);

  if (info.alternate_host_count < 0 || info.alternate_host_count > server_info_alternate_slots) {
    std::abort();
  }
  for (int slot = 0; slot < info.alternate_host_count; ++slot) {
    if (info.alternate_hosts[0][slot].empty() || info.alternate_hosts[1][slot].empty()) std::abort();
  }
  if (std::strlen(info.down_notice.c_str()) > decltype(info.down_notice)::capacity) std::abort();
  max_patch_size_from(info.client_host.c_str());
  return 0;
}

}  // namespace corvid
