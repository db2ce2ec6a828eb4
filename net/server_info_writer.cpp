#include <utility>

#include "net/server_info.h"

namespace corvid {

std::string write_server_info(const server_info_settings& info) {
  // The fourth line is read by the client and not used.
  std::string text = std::string(list_header_text) + "\n" + info.client_host + "\n" + info.product_host + "\n\n";
  std::string limit = info.max_patch_mb ? "mps\n" + std::to_string(*info.max_patch_mb) + "\n" : "";
  if (!info.down_lines.empty()) {
    text += "down\n";
    for (const std::string& line : info.down_lines) text += line + "\n";
  } else if (info.redirect) {
    text += "uurl\n" + *info.redirect + "\n";
  } else if (info.header_hosts) {
    text += "mft\n" + info.header_hosts->client + "\n" + info.header_hosts->product + "\n";
  } else if (!info.mirrors.empty()) {
    text += "aurl\n";
    for (const host_pair& mirror : info.mirrors) text += mirror.client + "\n" + mirror.product + "\n";
    // A full table needs no pair to end it; a shorter one ends with an empty pair.
    if (std::cmp_less(info.mirrors.size(), server_info_alternate_slots)) text += "\n\n";
    text += limit;
  } else {
    text += info.max_patch_mb ? limit : "\n";
  }
  return text;
}

}  // namespace corvid
