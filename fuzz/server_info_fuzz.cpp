// The server information file as downloaded, read the way server selection reads it, and
// once more from memory with the findings corvid-publish asks for.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "net/server_info.h"

namespace corvid {

namespace {

bool same_reading(const server_info& a, const server_info& b) {
  if (a.outcome != b.outcome || a.alternate_host_count != b.alternate_host_count ||
      a.max_patch_size_given != b.max_patch_size_given || a.max_patch_size != b.max_patch_size) {
    return false;
  }
  for (int slot = 0; slot < server_info_alternate_slots; ++slot) {
    if (a.alternate_hosts[0][slot].view() != b.alternate_hosts[0][slot].view() ||
        a.alternate_hosts[1][slot].view() != b.alternate_hosts[1][slot].view()) {
      return false;
    }
  }
  return a.client_host.view() == b.client_host.view() && a.product_host.view() == b.product_host.view() &&
         a.client_header_host.view() == b.client_header_host.view() &&
         a.product_header_host.view() == b.product_header_host.view() &&
         a.new_location.view() == b.new_location.view() && a.down_notice.view() == b.down_notice.view();
}

}  // namespace

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

  // Text in memory reads as the file does, and asking for findings changes nothing read.
  line_source in_memory(std::string_view(reinterpret_cast<const char*>(data), size));
  server_info_findings found;
  if (!same_reading(info, read_server_info(in_memory, &found))) std::abort();
  for (std::size_t i = 1; i < found.size(); ++i) {
    if (found[i].line < found[i - 1].line) std::abort();
  }
  return 0;
}

}  // namespace corvid
