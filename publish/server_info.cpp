#include "publish/server_info.h"

#include <cerrno>

#include "net/server_info.h"
#include "text/line_source.h"
#include "publish/name_rules.h"
#include "publish/platform.h"
#include "text/format_limits.h"

namespace corvid::publish {

std::string location_refusal(std::string_view location) {
  if (location.empty()) return "a server location must not be empty";
  if (location.size() > max_text_line_length) return "a server location holds at most 1023 characters";
  if (location.find("://") != std::string_view::npos)
    return "a server location has no scheme; the client puts \"http://\" before it";
  if (location.back() == '/') return "a server location has no trailing \"/\"";
  if (location.front() == '/') return "a server location starts with its host name";
  for (char c : location) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u > 0x7E) return "a server location holds a blank or a character outside printable ASCII";
    if (c == '\\') return "a server location separates its path with \"/\"";
    if (c == '#' || c == '?' || c == '%')
      return std::string("a server location holds '") + c + "', which the client's URL cannot carry as it stands";
    if (c >= 'A' && c <= 'Z') return "a server location must be in lower case; the client lower-cases it before use";
  }
  return {};
}

namespace {
void check_location(const std::string& option, const std::string& location, std::vector<std::string>& problems) {
  std::string why = location_refusal(location);
  if (!why.empty()) problems.push_back(option + " \"" + location + "\": " + why);
}

void check_locations(const server_info_settings& info, std::vector<std::string>& problems) {
  check_location("--client-host", info.client_host, problems);
  check_location("--product-host", info.product_host, problems);
  if (info.header_hosts) {
    check_location("--header-hosts", info.header_hosts->client, problems);
    check_location("--header-hosts", info.header_hosts->product, problems);
  }
  for (const host_pair& mirror : info.mirrors) {
    check_location("--mirror", mirror.client, problems);
    check_location("--mirror", mirror.product, problems);
  }
  if (info.redirect) check_location("--redirect", *info.redirect, problems);
}

void check_combination(const server_info_settings& info, std::vector<std::string>& problems) {
  int sections = (info.header_hosts ? 1 : 0) + (info.mirrors.empty() ? 0 : 1) + (info.down_lines.empty() ? 0 : 1) +
                 (info.redirect ? 1 : 0);
  bool limit = info.max_patch_mb.has_value();
  if (sections > 1 || (limit && (info.header_hosts || !info.down_lines.empty() || info.redirect)))
    problems.push_back(
        "the server information file holds one section: --down, --redirect or --header-hosts stand "
        "alone; --max-patch-mb goes alone or with --mirror");
  if (info.mirrors.size() > max_mirrors) problems.push_back("at most ten --mirror pairs");
  if (info.down_lines.size() > max_down_lines) problems.push_back("--down shows at most five lines");
  std::size_t notice = 0;
  for (const std::string& line : info.down_lines) {
    notice += line.size() + 1;
    if (line.size() > max_text_line_length) problems.push_back("a --down line holds at most 1023 characters");
    for (char c : line) {
      if (static_cast<unsigned char>(c) < 0x20) problems.push_back("--down text holds a control character");
    }
  }
  // The client builds the notice in 4096 bytes and would cut it.
  if (notice > 4095) problems.push_back("the --down notice is longer than the client's 4095 characters");
  if (limit && *info.max_patch_mb > max_patch_megabytes)
    problems.push_back("--max-patch-mb is at most 4095; the client counts the limit in 32 bits");
}
}  // namespace

bool format_server_info(const server_info_settings& info, std::string& text, std::vector<std::string>& problems) {
  std::size_t before = problems.size();
  check_locations(info, problems);
  check_combination(info, problems);
  if (problems.size() != before) return false;

  text = std::string(list_header_text) + "\n" + info.client_host + "\n" + info.product_host + "\n";
  text += "\n";  // read by the client and not used
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
    if (info.mirrors.size() < max_mirrors) text += "\n\n";
    if (info.max_patch_mb) text += "mps\n" + std::to_string(*info.max_patch_mb) + "\n";
  } else if (info.max_patch_mb) {
    text += "mps\n" + std::to_string(*info.max_patch_mb) + "\n";
  } else {
    text += "\n";
  }
  return true;
}

namespace {
// Walks the file with the client's line rule, numbering the lines it takes.
class info_checker {
 public:
  info_checker(line_source& lines, std::vector<std::string>& problems) : lines_(lines), problems_(problems) {}

  bool line(text_line& out) {
    if (!lines_.next(out, long_line::split_keeping_end)) return false;
    ++number_;
    return true;
  }

  void problem(const std::string& why) { problems_.push_back("line " + std::to_string(number_) + ": " + why); }

  void location(const char* what) {
    text_line text;
    if (!line(text)) {
      problems_.push_back(std::string("the ") + what + " is missing");
      return;
    }
    std::string why = location_refusal(lower_case(text.view()));
    if (!why.empty()) problem(std::string("the ") + what + ": " + why);
  }

  void megabytes() {
    text_line text;
    if (!line(text)) {
      problems_.push_back("the number after \"mps\" is missing");
      return;
    }
    bool digits = !text.empty() && text.size() <= 4;
    for (char c : text.view()) digits = digits && c >= '0' && c <= '9';
    // The client reads anything else as 0, which means no limit at all.
    if (!digits || std::stoul(std::string(text.view())) > max_patch_megabytes)
      problem("the limit is not a number from 0 to 4095");
  }

  void mirrors() {
    std::size_t pairs = 0;
    for (; pairs < max_mirrors; ++pairs) {
      text_line client, product;
      bool got_client = line(client);
      bool got_product = line(product);
      if (!got_client || !got_product || client.empty() || product.empty()) break;
      for (const text_line* host : {&client, &product}) {
        std::string why = location_refusal(lower_case(host->view()));
        if (!why.empty()) problem("a mirror: " + why);
      }
    }
    if (pairs == 0) problem("\"aurl\" lists no mirror pair");
    text_line keyword;
    if (line(keyword)) {
      if (lower_case(keyword.view()) == "mps")
        megabytes();
      else
        problem("the client reads only \"mps\" after the mirrors");
    }
  }

  void rest_unread() {
    text_line text;
    if (line(text)) problem("the client does not read this line or any after it");
  }

 private:
  line_source& lines_;
  std::vector<std::string>& problems_;
  std::size_t number_ = 0;
};
}  // namespace

bool check_server_info_text(std::string_view text, std::vector<std::string>& problems) {
  std::size_t before = problems.size();
  owned_file stream = text_stream(text);
  if (!stream) {
    problems.push_back("cannot make a temporary file to read it: " + system_reason(errno));
    return false;
  }
  // Through a stream, as the client reads the file, so that a Ctrl-Z ends it here too.
  line_source lines(stream.get());
  info_checker check(lines, problems);
  text_line line;
  if (!check.line(line) || !(line == list_header_text)) {
    if (line.view().substr(0, 3) == "\xEF\xBB\xBF")
      problems.push_back("line 1: starts with a UTF-8 byte order mark, which the client reads as part of the line");
    else
      problems.push_back("line 1: the first line is not \"Corvid Patch\"");
    return false;
  }
  check.location("client host (line 2)");
  check.location("product host (line 3)");
  check.line(line);
  std::string keyword;
  if (check.line(line)) keyword = lower_case(line.view());
  if (keyword == "down") {
    std::size_t notice_lines = 0;
    while (notice_lines < max_down_lines && check.line(line)) ++notice_lines;
    if (notice_lines == 0) check.problem("\"down\" has no notice");
  } else if (keyword == "mft") {
    check.location("client header host");
    check.location("product header host");
  } else if (keyword == "uurl") {
    check.location("redirected location");
  } else if (keyword == "aurl") {
    check.mirrors();
  } else if (keyword == "mps") {
    check.megabytes();
  } else if (!keyword.empty()) {
    check.problem("the client knows no keyword \"" + keyword + "\" and reads nothing after it");
    return false;
  }
  check.rest_unread();
  return problems.size() == before;
}

}  // namespace corvid::publish
