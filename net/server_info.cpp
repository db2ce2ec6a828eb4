#include "net/server_info.h"

#include <cstdlib>
#include <string>

#include "text/lower_case.h"

namespace corvid {

namespace {

// The file a line at a time, with what the caller asked to be told about it.
class info_reader {
 public:
  info_reader(line_source& lines, server_info_findings* found, std::vector<location_read>* locations)
      : lines_(lines), found_(found), locations_(locations) {}

  // A line of exactly the greatest length keeps its own line end, so that its end is not
  // taken for an empty line of its own. False at the end of the file, the line empty.
  bool read(text_line& line) { return lines_.next(line, long_line::split_keeping_end); }

  void read_location(text_line& line, location_role which) {
    bool got = read(line);
    if (!got) tell(server_info_finding::location_missing, lines_.line_number() + 1);
    // One past the end is on the line it would have had, the second on the one after.
    located(lines_.line_number() + (got ? 0 : ++past_end_), which, line);
    lower_case_in_place(line.buffer());
  }

  void read_max_patch_size(server_info& info) {
    text_line number;
    bool got = read(number);
    info.max_patch_size = max_patch_size_from(number.c_str());
    info.max_patch_size_given = true;
    if (!got) {
      tell(server_info_finding::limit_missing, lines_.line_number() + 1);
    } else if (found_ != nullptr && !written_as_limit(number.view())) {
      tell(server_info_finding::limit_not_a_number, lines_.line_number(), number.view());
    }
  }

  void read_down_notice(server_info& info) {
    text_line line;
    for (int taken = 0; taken < down_notice_lines;) {
      if (!read(line) && taken == 0) tell(server_info_finding::no_notice, lines_.line_number());
      info.down_notice.append(line.view());
      info.down_notice.append('\n');
      ++taken;
      if (lines_.at_end()) break;
    }
  }

  void read_alternate_hosts(server_info& info) {
    info.alternate_host_count = 0;
    for (int slot = 0; slot < server_info_alternate_slots; ++slot) {
      text_line& client = info.alternate_hosts[0][slot];
      text_line& product = info.alternate_hosts[1][slot];
      // Both lines of a pair are read, so the pair that ends the table is consumed whole.
      read(client);
      read(product);
      if (client.empty() || product.empty()) {
        client.clear();
        product.clear();
        break;
      }
      ++info.alternate_host_count;
      located(lines_.line_number() - 1, location_role::mirror, client);
      located(lines_.line_number(), location_role::mirror, product);
    }
    if (info.alternate_host_count == 0) tell(server_info_finding::no_mirror_pair, lines_.line_number());
    text_line after;
    if (!read(after)) return;
    if (equal_ignoring_case(after.c_str(), "mps")) {
      read_max_patch_size(info);
    } else {
      tell(server_info_finding::not_mps_after_mirrors, lines_.line_number());
    }
  }

  // Whatever follows what the client reads.
  void look_past_the_end() {
    text_line line;
    if (found_ != nullptr && read(line)) tell(server_info_finding::unread_lines, lines_.line_number());
  }

  void tell(server_info_finding why, std::size_t line, std::string_view text = {}) { note(found_, line, why, text); }

  void located(std::size_t line, location_role which, const text_line& text) {
    if (locations_ != nullptr) locations_->push_back({line, which, std::string(text.view())});
  }

 private:
  // The limit as atoi reads it is the number written only for plain digits.
  static bool written_as_limit(std::string_view text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string_view::npos) return false;
    return std::strtoul(std::string(text).c_str(), nullptr, 10) <= most_patch_megabytes;
  }

  line_source& lines_;
  server_info_findings* found_;
  std::vector<location_read>* locations_;
  std::size_t past_end_ = 0;
};

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

server_info read_server_info(line_source& lines, server_info_findings* found, std::vector<location_read>* locations) {
  info_reader reader(lines, found, locations);
  server_info info;
  text_line line;
  reader.read(line);
  if (!(line == list_header_text)) {
    reader.tell(server_info_finding::wrong_first_line, 1, line.view());
    info.outcome = server_info_outcome::wrong_first_line;
    return info;
  }
  reader.read_location(info.client_host, location_role::client_host);
  if (info.client_host.empty()) {
    info.outcome = server_info_outcome::no_client_host;
    return info;
  }
  reader.read_location(info.product_host, location_role::product_host);
  if (info.product_host.empty()) {
    info.outcome = server_info_outcome::no_product_host;
    return info;
  }
  reader.read(line);  // not used

  text_line keyword;
  reader.read(keyword);
  const char* k = keyword.c_str();
  if (equal_ignoring_case(k, "down")) {
    info.outcome = server_info_outcome::down;
    reader.read_down_notice(info);
  } else if (equal_ignoring_case(k, "mft")) {
    info.outcome = server_info_outcome::header_hosts_given;
    reader.read_location(info.client_header_host, location_role::client_header_host);
    reader.read_location(info.product_header_host, location_role::product_header_host);
  } else if (equal_ignoring_case(k, "uurl")) {
    info.outcome = server_info_outcome::redirected;
    reader.read_location(info.new_location, location_role::redirect);
  } else if (equal_ignoring_case(k, "aurl")) {
    info.outcome = server_info_outcome::alternate_hosts;
    reader.read_alternate_hosts(info);
  } else {
    info.outcome = server_info_outcome::plain;
    if (equal_ignoring_case(k, "mps")) {
      reader.read_max_patch_size(info);
    } else if (!keyword.empty()) {
      reader.tell(server_info_finding::unknown_keyword, lines.line_number(), keyword.view());
      return info;
    }
  }
  reader.look_past_the_end();
  return info;
}

}  // namespace corvid
