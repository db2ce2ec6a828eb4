// verify --url: a live server as players reach it, location by location.

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>

#include "net/server_info.h"
#include "core/product.h"
#include "publish/command_check.h"
#include "publish/options.h"
#include "publish/http_client.h"
#include "publish/list_format.h"
#include "publish/name_rules.h"
#include "publish/platform.h"
#include "publish/server_info.h"
#include "publish/zlib_stream.h"

namespace corvid::publish {

namespace {
// The client follows "uurl" without end until the player gives up; a check must end.
constexpr int max_redirections = 5;
constexpr std::size_t longest_list = 64 * 1024 * 1024;

void add_unique(std::vector<std::string>& locations, const std::string& location) {
  if (!location.empty() && std::find(locations.begin(), locations.end(), location) == locations.end())
    locations.push_back(location);
}

// Every location a player may be sent to, as the client would choose them.
struct player_locations {
  std::vector<std::string> product;  // patch header, manifest, command script, files
  std::vector<std::string> client;   // the client's file list and files
};

player_locations locations_of(const corvid::server_info& info, report& out) {
  player_locations places;
  if (info.alternate_host_count > 0) {
    // One pair serves the files and the next one the lists, both drawn at random, so
    // every pair must serve everything; lines 2 and 3 are then not used.
    for (int slot = 0; slot < info.alternate_host_count; ++slot) {
      add_unique(places.client, std::string(info.alternate_hosts[0][slot].view()));
      add_unique(places.product, std::string(info.alternate_hosts[1][slot].view()));
    }
    out.note("players are sent to the " + std::to_string(info.alternate_host_count) +
             " \"aurl\" pair(s); the hosts of lines 2 and 3 are not used");
    return places;
  }
  add_unique(places.client, std::string(info.client_host.view()));
  add_unique(places.product, std::string(info.product_host.view()));
  if (info.outcome == server_info_outcome::header_hosts_given) {
    add_unique(places.client, std::string(info.client_header_host.view()));
    add_unique(places.product, std::string(info.product_header_host.view()));
  }
  return places;
}

class live_check {
 public:
  live_check(const verify_options& options, report& out) : options_(options), out_(out) {}

  // The server information file, redirections followed. False when players get no hosts.
  bool read_server_information(corvid::server_info& info) {
    std::string location = lower_case(options_.url.substr(options_.url.rfind("http://", 0) == 0 ? 7 : 0));
    for (int hop = 0;; ++hop) {
      std::string url = "http://" + location, text;
      if (!fetch_text(url, text)) return false;
      std::vector<std::string> lines;
      check_server_info_text(text, lines, &info);
      for (const std::string& line : lines) out_.problem(url, line);
      switch (info.outcome) {
        case server_info_outcome::wrong_first_line:
        case server_info_outcome::no_client_host:
        case server_info_outcome::no_product_host: return false;
        case server_info_outcome::down:
          out_.data()["down"] = std::string(info.down_notice.view());
          out_.line(url + ": the service is down; players see:\n" + std::string(info.down_notice.view()));
          return false;
        case server_info_outcome::redirected:
          if (hop == max_redirections) {
            out_.problem(url, "redirects more than " + std::to_string(max_redirections) + " times");
            return false;
          }
          location = std::string(info.new_location.view());
          out_.note(url + " redirects players to " + location);
          continue;
        default: return true;
      }
    }
  }

  void check_product_locations(const std::vector<std::string>& locations) {
    struct served {
      std::string location;
      file_entry header;
      std::vector<file_entry> entries;
    };
    std::vector<served> readable;
    for (const std::string& location : locations) {
      served tree{location, {}, {}};
      if (read_manifest(location, tree.header, tree.entries)) readable.push_back(std::move(tree));
    }
    if (readable.empty()) return;
    // What the newest manifest lists is what every location must serve: the client
    // takes the lists from one location and the files from the others in turn.
    const served& newest = *std::max_element(readable.begin(), readable.end(), [](const served& a, const served& b) {
      return a.header.time < b.header.time;
    });
    for (const served& tree : readable) {
      if (tree.header.time < newest.header.time)
        out_.problem(download_url(tree.location, list_file_name),
                     "stale: its manifest is older than the one " + newest.location + " serves");
      else if (tree.header.packed_size != newest.header.packed_size || tree.header.crc32 != newest.header.crc32)
        out_.problem(download_url(tree.location, list_file_name),
                     "serves another manifest of the same time as " + newest.location);
    }
    for (const file_entry& entry : newest.entries) installed_.emplace_back(entry.name.view());
    for (const std::string& location : locations) {
      check_files(location, newest.entries);
      check_script_at(location);
    }
  }

  void check_client_locations(const std::vector<std::string>& locations) {
    std::optional<std::pair<std::string, std::string>> first;  // location and list
    std::vector<file_entry> entries;
    for (const std::string& location : locations) {
      std::string url = download_url(location, list_file_name), text, why;
      std::vector<file_entry> read;
      if (!fetch_text(url, text)) continue;
      if (!read_list_text(text, read, why)) {
        out_.problem(url, why);
        continue;
      }
      if (!first) {
        first.emplace(location, text);
        entries = read;
      } else if (text != first->second) {
        out_.problem(url, "serves another client file list than " + first->first);
      }
    }
    for (const file_entry& entry : entries) installed_.emplace_back(entry.name.view());
    for (const std::string& location : locations) check_files(location, entries);
  }

  void summarise() {
    out_.data()["locations"] = nlohmann::json::array();
    for (const auto& [location, counts] : checked_) {
      out_.data()["locations"].push_back(
          {{"location", location}, {"files_checked", counts.first}, {"problems", counts.second}});
      out_.detail(location + ": " + std::to_string(counts.first) + " files checked, " +
                  (counts.second ? std::to_string(counts.second) + " wrong" : std::string("all as listed")));
    }
  }

 private:
  bool fetch_text(const std::string& url, std::string& text) {
    http_response response;
    if (!http_.get_text(url, text, longest_list, response)) {
      out_.problem(url, "cannot be fetched: " + response.error);
      return false;
    }
    if (response.status != 200) {
      out_.problem(
          url, "answers HTTP " + std::to_string(response.status) + "; the client would read that answer as the file");
      return false;
    }
    return true;
  }

  bool read_manifest(const std::string& location, file_entry& header, std::vector<file_entry>& entries) {
    std::string header_url = download_url(location, list_file_name),
                manifest_url = download_url(location, manifest_file_name);
    std::string header_bytes, packed, text, why;
    if (!fetch_text(header_url, header_bytes)) return false;
    if (header_bytes.size() != patch_header_size || !decode_patch_header(header_bytes, header)) {
      out_.problem(header_url, "is not a 19-byte patch header starting with \"CP~\"");
      return false;
    }
    if (!fetch_text(manifest_url, packed)) return false;
    if (packed.size() != header.packed_size || !uncompress_text(packed, header.size, text)) {
      out_.problem(manifest_url, "is not the " + std::to_string(header.packed_size) + "-byte stream of " +
                                     std::to_string(header.size) + " bytes that cpatch.dat describes");
      return false;
    }
    if (!read_list_text(text, entries, why)) {
      out_.problem(manifest_url, why);
      return false;
    }
    return true;
  }

  void check_files(const std::string& location, const std::vector<file_entry>& entries) {
    auto& counts = checked_[location];
    for (const file_entry& entry : entries) {
      std::string url = download_url(location, lower_case(entry.name));
      std::string why = options_.quick ? announced_length_problem(url, entry) : stream_problem(url, entry);
      ++counts.first;
      if (why.empty()) continue;
      ++counts.second;
      out_.problem(url, why);
    }
  }

  std::string announced_length_problem(const std::string& url, const file_entry& entry) {
    http_response response;
    if (!http_.head(url, response)) return "cannot be fetched: " + response.error;
    if (response.status != 200) return "missing: HTTP " + std::to_string(response.status);
    if (response.announced_length != static_cast<std::int64_t>(entry.packed_size))
      return "the server announces " + std::to_string(response.announced_length) + " bytes; the list says " +
             std::to_string(entry.packed_size);
    return {};
  }

  std::string stream_problem(const std::string& url, const file_entry& entry) {
    stream_check check;
    http_response response;
    bool answered = http_.get(
        url,
        [&](const char* bytes, std::size_t count) {
          // A body longer than listed is wrong whatever follows; no need to take it all.
          if (check.facts().packed_size > entry.packed_size || check.broken()) return false;
          check.feed(bytes, count);
          return true;
        },
        response);
    if (!answered) return "cannot be fetched: " + response.error;
    if (response.status != 200) return "missing: HTTP " + std::to_string(response.status);
    bool ended = check.finish();
    stream_facts facts = check.facts();
    if (facts.packed_size > entry.packed_size)
      return "is longer than the " + std::to_string(entry.packed_size) + " bytes the list says";
    std::string why = check.fault();
    if (why.empty()) why = stream_mismatch(facts, entry.packed_size, entry.size, entry.crc32);
    if (why.empty() && !ended) why = "the stream ends early";
    return why;
  }

  // No script is fine: the client runs only a body that starts with "Corvid Patch".
  void check_script_at(const std::string& location) {
    std::string url = download_url(location, command_script_name), text;
    http_response response;
    if (!http_.get_text(url, text, longest_list, response) || response.status != 200) return;
    std::vector<std::string> lines;
    if (text.rfind(list_header_text, 0) == 0 && !check_command_script(text, installed_, lines)) {
      for (const std::string& line : lines) out_.problem(url, line);
    }
  }

  const verify_options& options_;
  report& out_;
  http_client http_;
  std::vector<std::string> installed_;
  std::map<std::string, std::pair<std::size_t, std::size_t>> checked_;  // files checked, wrong
};
}  // namespace

int run_verify_url(const verify_options& options) {
  report out("verify", options.output);
  out.data()["url"] = options.url;
  live_check check(options, out);
  corvid::server_info info;
  if (check.read_server_information(info)) {
    player_locations places = locations_of(info, out);
    check.check_client_locations(places.client);
    check.check_product_locations(places.product);
    check.summarise();
  }
  if (out.problem_count() != 0) {
    out.error(std::to_string(out.problem_count()) + " problem(s); players would meet errors");
    return out.finish(exit_refused);
  }
  if (out.data().contains("down")) return out.finish(exit_done);
  out.line("http://" + options.url.substr(options.url.rfind("http://", 0) == 0 ? 7 : 0) + ": no problem found");
  return out.finish(exit_done);
}

}  // namespace corvid::publish
