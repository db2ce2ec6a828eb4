#include "publish/server_info.h"

#include <algorithm>
#include <map>
#include <utility>

#include "publish/name_rules.h"
#include "text/format_limits.h"

namespace corvid::publish {

namespace {
// Why a server location cannot be written for the client; empty when it can.
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
}  // namespace

bool format_server_info(const server_info_settings& info, std::string& text, std::vector<std::string>& problems) {
  std::size_t before = problems.size();
  std::vector<std::pair<const char*, std::string>> locations = {{"--client-host", info.client_host},
                                                                {"--product-host", info.product_host}};
  if (info.header_hosts) {
    locations.insert(locations.end(),
                     {{"--header-hosts", info.header_hosts->client}, {"--header-hosts", info.header_hosts->product}});
  }
  for (const host_pair& pair : info.mirrors) {
    locations.insert(locations.end(), {{"--mirror", pair.client}, {"--mirror", pair.product}});
  }
  if (info.redirect) locations.emplace_back("--redirect", *info.redirect);
  for (const auto& [option, location] : locations) {
    std::string why = location_refusal(location);
    if (!why.empty()) problems.push_back(option + (" \"" + location + "\": ") + why);
  }
  bool limit = info.max_patch_mb.has_value(), down = !info.down_lines.empty();
  int sections =
      (info.header_hosts ? 1 : 0) + (info.mirrors.empty() ? 0 : 1) + (down ? 1 : 0) + (info.redirect ? 1 : 0);
  if (sections > 1 || (limit && (info.header_hosts || down || info.redirect)))
    problems.push_back(
        "the server information file holds one section: --down, --redirect or --header-hosts stand "
        "alone; --max-patch-mb goes alone or with --mirror");
  if (std::cmp_greater(info.mirrors.size(), server_info_alternate_slots))
    problems.push_back("at most ten --mirror pairs");
  if (std::cmp_greater(info.down_lines.size(), down_notice_lines))
    problems.push_back("--down shows at most five lines");
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
  if (limit && *info.max_patch_mb > most_patch_megabytes)
    problems.push_back("--max-patch-mb is at most 4095; the client counts the limit in 32 bits");
  if (problems.size() != before) return false;

  text = write_server_info(info);
  return true;
}

namespace {
std::string worded(const finding<server_info_finding>& found) {
  std::string line = "line " + std::to_string(found.line) + ": ";
  switch (found.why) {
    case server_info_finding::wrong_first_line:
      if (found.text.starts_with("\xEF\xBB\xBF"))
        return line + "starts with a UTF-8 byte order mark, which the client reads as part of the line";
      return line + "the first line is not \"Corvid Patch\"";
    case server_info_finding::location_missing: break;  // worded with the location's name
    case server_info_finding::no_notice: return line + "\"down\" has no notice";
    case server_info_finding::no_mirror_pair: return line + "\"aurl\" lists no mirror pair";
    case server_info_finding::not_mps_after_mirrors: return line + "the client reads only \"mps\" after the mirrors";
    case server_info_finding::limit_missing: return "the number after \"mps\" is missing";
    case server_info_finding::limit_not_a_number: return line + "the limit is not a number from 0 to 4095";
    case server_info_finding::unknown_keyword:
      return line + "the client knows no keyword \"" + lower_case(found.text) + "\" and reads nothing after it";
    case server_info_finding::unread_lines: return line + "the client does not read this line or any after it";
  }
  return {};
}

// By location_role.
const char* const location_names[] = {"the client host (line 2)", "the product host (line 3)", "the client header host",
                                      "the product header host",  "the redirected location",   "a mirror"};
}  // namespace

bool check_server_info_text(std::string_view text, std::vector<std::string>& problems, server_info* read) {
  line_source lines(text);
  server_info_findings found;
  std::vector<location_read> places;
  server_info info = read_server_info(lines, &found, &places);
  auto name = [](const location_read& at) { return std::string(location_names[static_cast<int>(at.which)]); };
  // By line: the reader's finding for a line, or else what is wrong with the location on it.
  std::map<std::size_t, std::string> told;
  for (const finding<server_info_finding>& reason : found) {
    auto at = std::find_if(places.begin(), places.end(), [&](const location_read& p) { return p.line == reason.line; });
    bool missing = reason.why == server_info_finding::location_missing;
    if (!missing || at != places.end()) told.emplace(reason.line, missing ? name(*at) + " is missing" : worded(reason));
  }
  for (const location_read& at : places) {
    std::string why = location_refusal(lower_case(at.text));
    if (!why.empty()) told.emplace(at.line, "line " + std::to_string(at.line) + ": " + name(at) + ": " + why);
  }
  for (const auto& [line, why] : told) problems.push_back(why);
  if (read != nullptr) *read = info;
  return told.empty();
}

}  // namespace corvid::publish
