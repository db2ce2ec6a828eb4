#include "net/server_info.h"

#include <cstring>

#include "text/lower_case.h"

namespace corvid {

namespace {

// A line of exactly the greatest length keeps its own line end, so that its end is not
// taken for an empty line of its own.
void read(line_source& lines, text_line& line) { lines.next(line, long_line::split_keeping_end); }

void read_lower_cased(line_source& lines, text_line& line) {
  read(lines, line);
  lower_case_in_place(line.buffer());
}

void read_max_patch_size(line_source& lines, server_info& info) {
  text_line number;
  read(lines, number);
  info.max_patch_size = max_patch_size_from(number.c_str());
  info.max_patch_size_given = true;
}

void read_down_notice(line_source& lines, server_info& info) {
  text_line line;
  for (int taken = 0; taken < 5;) {
    read(lines, line);
    info.down_notice.append(line.view());
    info.down_notice.append('\n');
    ++taken;
    if (lines.at_end()) break;
  }
}

void read_alternate_hosts(line_source& lines, server_info& info) {
  info.alternate_host_count = 0;
  for (int slot = 0; slot < server_info_alternate_slots; ++slot) {
    text_line& client = info.alternate_hosts[0][slot];
    text_line& product = info.alternate_hosts[1][slot];
    // Both lines of a pair are read, so the pair that ends the table is consumed whole.
    read(lines, client);
    read(lines, product);
    if (client.empty() || product.empty()) {
      client.clear();
      product.clear();
      break;
    }
    ++info.alternate_host_count;
  }
  text_line after;
  read(lines, after);
  if (equal_ignoring_case(after.c_str(), "mps")) read_max_patch_size(lines, info);
}

}  // namespace

std::uint32_t max_patch_size_from(const char* megabytes) {
  const char* p = megabytes;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Past 4096 megabytes the product leaves the 32-bit range whatever digits follow.
  std::uint64_t megabyte_count = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (megabyte_count < 4096) megabyte_count = megabyte_count * 10 + static_cast<unsigned>(*p - '0');
  }
  if (negative) return 0;
  std::uint64_t bytes = megabyte_count * 1048576;
  return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(bytes);
}

server_info read_server_info(line_source& lines) {
  server_info info;
  text_line line;
  read(lines, line);
  if (!(line == list_header_text)) {
    info.outcome = server_info_outcome::wrong_first_line;
    return info;
  }
  read_lower_cased(lines, info.client_host);
  if (info.client_host.empty()) {
    info.outcome = server_info_outcome::no_client_host;
    return info;
  }
  read_lower_cased(lines, info.product_host);
  if (info.product_host.empty()) {
    info.outcome = server_info_outcome::no_product_host;
    return info;
  }
  read(lines, line);  // not used

  text_line keyword;
  read(lines, keyword);
  const char* k = keyword.c_str();
  if (equal_ignoring_case(k, "down")) {
    info.outcome = server_info_outcome::down;
    read_down_notice(lines, info);
  } else if (equal_ignoring_case(k, "mft")) {
    info.outcome = server_info_outcome::header_hosts_given;
    read_lower_cased(lines, info.client_header_host);
    read_lower_cased(lines, info.product_header_host);
  } else if (equal_ignoring_case(k, "uurl")) {
    info.outcome = server_info_outcome::redirected;
    read_lower_cased(lines, info.new_location);
  } else if (equal_ignoring_case(k, "aurl")) {
    info.outcome = server_info_outcome::alternate_hosts;
    read_alternate_hosts(lines, info);
  } else {
    info.outcome = server_info_outcome::plain;
    if (equal_ignoring_case(k, "mps")) read_max_patch_size(lines, info);
  }
  return info;
}

}  // namespace corvid
