// verify --url: a live server as players reach it, location by location, fetched as the
// client fetches: plain GETs, no proxy, no cache, its user agent.

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>

#include "core/product.h"
#include "publish/command_check.h"
#include "publish/list_format.h"
#include "publish/name_rules.h"
#include "publish/options.h"
#include "publish/platform.h"
#include "publish/release_document.h"
#include "publish/release_folders.h"
#include "publish/server_info.h"
#include "publish/zlib_stream.h"

namespace corvid::publish {

namespace {
// The client follows "uurl" without end until the player gives up; a check must end.
constexpr int max_redirections = 5;
constexpr std::size_t longest_list = 64 * 1024 * 1024;

using body_taker = std::function<bool(const char* bytes, std::size_t count)>;

extern "C" std::size_t take_body(char* bytes, std::size_t size, std::size_t count, void* taker) {
  const body_taker* take = static_cast<const body_taker*>(taker);
  return *take && !(*take)(bytes, size * count) ? 0 : size * count;
}

class http_client {
 public:
  struct answer {
    long status = 0;
    curl_off_t length = -1;  // as announced; -1 when it was not
    std::string error;       // why no answer came
  };

  http_client() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    curl_ = ready ? curl_easy_init() : nullptr;
    if (!curl_) return;
    curl_easy_setopt(curl_, CURLOPT_USERAGENT, user_agent);
    // No proxy, whatever the environment says: the client goes direct.
    curl_easy_setopt(curl_, CURLOPT_PROXY, "");
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl_, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    // The client's library follows redirections by itself.
    curl_easy_setopt(curl_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl_, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, 15L);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, 30L);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, take_body);
  }
  ~http_client() {
    if (curl_) curl_easy_cleanup(curl_);
  }
  http_client(const http_client&) = delete;
  http_client& operator=(const http_client&) = delete;

  // The body goes to `take` piece by piece; a `take` that returns false ends the transfer
  // early, which is no failure. Without `take`, only the status and length are asked for.
  // False, with why, when no answer came.
  bool get(const std::string& url, const body_taker& take, answer& got, bool body_wanted = true) {
    got = answer();
    if (!curl_) {
      got.error = "libcurl cannot start";
      return false;
    }
    bool stopped = false;
    body_taker taker;
    if (take)
      taker = [&](const char* bytes, std::size_t count) { return take(bytes, count) || (stopped = true, false); };
    char reason[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_NOBODY, body_wanted ? 0L : 1L);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &taker);
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, reason);
    CURLcode result = curl_easy_perform(curl_);
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &got.status);
    curl_easy_getinfo(curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &got.length);
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && stopped)) return true;
    got.error = reason[0] ? reason : curl_easy_strerror(result);
    return false;
  }

  // The whole body, when it is at most `limit` bytes.
  bool get_text(const std::string& url, std::string& body, answer& got) {
    body.clear();
    bool too_long = false;
    bool answered = get(
        url,
        [&](const char* bytes, std::size_t count) {
          too_long = body.size() + count > longest_list;
          if (!too_long) body.append(bytes, count);
          return !too_long;
        },
        got);
    if (answered && too_long) got.error = "the answer is longer than " + std::to_string(longest_list) + " bytes";
    return answered && !too_long;
  }

 private:
  CURL* curl_;
};

// "http://" + location + "/" + name, with what the client's library would escape
// escaped: a blank goes as %20.
std::string download_url(std::string_view location, std::string_view name) {
  std::string url = "http://" + std::string(location) + "/";
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    char escaped[4];
    std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned>(u));
    url += u <= 0x20 || u >= 0x7F ? std::string(escaped) : std::string(1, c);
  }
  return url;
}

void add_unique(std::vector<std::string>& locations, std::string_view location) {
  if (!location.empty() && std::find(locations.begin(), locations.end(), location) == locations.end())
    locations.emplace_back(location);
}

// What --expect names: the release a published tree gives players, by its serial (0
// in the flat layout) and its manifest's patch header.
struct release_identity {
  unsigned serial = 0;
  file_entry header;
};

std::string identity_text(const release_identity& release) {
  return (release.serial ? "release " + std::to_string(release.serial) + ", " : std::string()) + "manifest " +
         std::to_string(release.header.packed_size) + " bytes, CRC-32 " + crc_text(release.header.crc32);
}

bool read_expected(const std::filesystem::path& tree, release_identity& release, std::string& client_list,
                   std::string& error) {
  std::vector<std::string> names = live_info_names(tree);
  published_release given = current_release(tree, false, names.empty() ? std::nullopt : std::optional(names[0]));
  std::string header;
  release.serial = given.serial;
  if (!read_whole_file(given.folder / "product" / list_file_name, header, error)) return false;
  if (!decode_patch_header(header, release.header))
    error = "--expect: " + display_path(given.folder) + ": no patch header";
  std::string ignored;
  read_whole_file(given.folder / "client" / list_file_name, client_list, ignored);
  return error.empty();
}

class live_check {
 public:
  live_check(const verify_options& options, report& out) : options_(options), out_(out) {}

  std::optional<release_identity> expected;
  std::string expected_client_list;
  std::optional<release_public_key> key;

  // The server information file, redirections followed. False when players get no hosts.
  bool read_server_information(server_info& info) {
    std::string location = lower_case(options_.url.substr(options_.url.rfind("http://", 0) == 0 ? 7 : 0));
    for (int hop = 0;; ++hop) {
      std::string url = "http://" + location, text;
      std::vector<std::string> lines;
      if (!fetch_text(url, text)) return false;
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

  // Every location a player may be sent to, as the client would choose them: the lists
  // and files of the update client, then those of the product.
  void check_locations(const server_info& info) {
    std::vector<std::string> client, product;
    if (info.alternate_host_count > 0) {
      // One pair serves the files and the next one the lists, both drawn at random, so
      // every pair must serve everything; lines 2 and 3 are then not used.
      for (int slot = 0; slot < info.alternate_host_count; ++slot) {
        add_unique(client, info.alternate_hosts[0][slot].view());
        add_unique(product, info.alternate_hosts[1][slot].view());
      }
      out_.note("players are sent to the " + std::to_string(info.alternate_host_count) +
                " \"aurl\" pair(s); the hosts of lines 2 and 3 are not used" +
                (expected ? ", but are checked against --expect" : ""));
    }
    if (expected || info.alternate_host_count == 0) {
      add_unique(client, info.client_host.view());
      add_unique(product, info.product_host.view());
      if (info.outcome == server_info_outcome::header_hosts_given) {
        add_unique(client, info.client_header_host.view());
        add_unique(product, info.product_header_host.view());
      }
    }
    check_client_locations(client);
    check_product_locations(product);
    out_.data()["locations"] = nlohmann::json::array();
    for (const auto& [location, counts] : checked_) {
      out_.data()["locations"].push_back(
          {{"location", location}, {"files_checked", counts.first}, {"problems", counts.second}});
      out_.detail(location + ": " + std::to_string(counts.first) + " files checked, " +
                  (counts.second ? std::to_string(counts.second) + " wrong" : std::string("all as listed")));
    }
  }

 private:
  void check_client_locations(const std::vector<std::string>& locations) {
    std::optional<std::pair<std::string, std::string>> first;  // location and list
    std::vector<file_entry> entries;
    for (const std::string& location : locations) {
      std::string url = download_url(location, list_file_name), text, why;
      std::vector<file_entry> read;
      if (!fetch_text(url, text)) continue;
      if (!read_list_text(text, read, why)) {
        out_.problem(url, why);
      } else if (!first) {
        first.emplace(location, text);
        entries = read;
      } else if (text != first->second) {
        out_.problem(url, "serves another client file list than " + first->first);
      }
      if (expected && !expected_client_list.empty() && text != expected_client_list)
        out_.problem(url, "serves another client file list than --expect " + display_path(*options_.expect));
    }
    for (const file_entry& entry : entries) installed_.emplace_back(entry.name.view());
    for (const std::string& location : locations) check_files(location, entries, release_tree::client);
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
      if (read_manifest_at(location, tree.header, tree.entries)) readable.push_back(std::move(tree));
    }
    if (readable.empty()) return;
    // What the newest manifest lists is what every location must serve: the client
    // takes the lists from one location and the files from the others in turn.
    const served& newest = *std::max_element(readable.begin(), readable.end(), [](const served& a, const served& b) {
      return a.header.time < b.header.time;
    });
    for (const served& tree : readable) {
      release_identity serves{serial_of_location(tree.location).value_or(0), tree.header};
      out_.line(tree.location + ": " + identity_text(serves));
      out_.data()["releases"][tree.location] = {
          {"serial", serves.serial}, {"manifest_size", tree.header.packed_size}, {"manifest_crc32", tree.header.crc32}};
      if (expected && (serves.serial != expected->serial || tree.header.crc32 != expected->header.crc32 ||
                       tree.header.packed_size != expected->header.packed_size))
        out_.problem(download_url(tree.location, list_file_name),
                     "serves another release (" + identity_text(serves) + ") than --expect " +
                         display_path(*options_.expect) + " (" + identity_text(*expected) + ")",
                     "other-release");
      if (tree.header.time < newest.header.time)
        out_.problem(download_url(tree.location, list_file_name),
                     "stale: its manifest is older than the one " + newest.location + " serves", "stale");
      else if (tree.header.packed_size != newest.header.packed_size || tree.header.crc32 != newest.header.crc32)
        out_.problem(download_url(tree.location, list_file_name),
                     "serves another manifest of the same time as " + newest.location);
    }
    for (const file_entry& entry : newest.entries) installed_.emplace_back(entry.name.view());
    for (const std::string& location : locations) {
      check_files(location, newest.entries, release_tree::product);
      check_script_at(location);
    }
  }

  bool fetch_text(const std::string& url, std::string& text) {
    http_client::answer got;
    if (!http_.get_text(url, text, got)) {
      out_.problem(url, "cannot be fetched: " + got.error);
    } else if (got.status != 200) {
      out_.problem(url,
                   "answers HTTP " + std::to_string(got.status) + "; the client would read that answer as the file");
    }
    return got.error.empty() && got.status == 200;
  }

  bool read_manifest_at(const std::string& location, file_entry& header, std::vector<file_entry>& entries) {
    std::string header_url = download_url(location, list_file_name),
                manifest_url = download_url(location, manifest_file_name);
    std::string header_bytes, packed, text, why;
    if (!fetch_text(header_url, header_bytes)) return false;
    if (header_bytes.size() != patch_header_size || !decode_patch_header(header_bytes, header)) {
      out_.problem(header_url, "is not a 19-byte patch header starting with \"CP~\"");
      return false;
    }
    if (!fetch_text(manifest_url, packed)) return false;
    manifest_fault fault = read_manifest(header, packed, text, entries, why);
    if (fault == manifest_fault::wrong_packed_size || fault == manifest_fault::not_inflating)
      why = "is not the " + std::to_string(header.packed_size) + "-byte stream of " + std::to_string(header.size) +
            " bytes that cpatch.dat describes";
    if (!why.empty()) out_.problem(manifest_url, why);
    return why.empty();
  }

  void check_files(const std::string& location, const std::vector<file_entry>& entries, release_tree tree) {
    auto& counts = checked_[location];
    // With a key, each location's document must be the key's, and what each stream
    // inflates to the bytes it signs.
    std::optional<std::map<std::string, sha256_digest>> signed_files;
    std::string error;
    if (key && !check_signed_tree(served_at(location), tree, *key, signed_files.emplace(), error)) {
      out_.problem(download_url(location, signed_document_file_name), error, "signature");
      signed_files.reset();
    }
    for (const file_entry& entry : entries) {
      std::string url = download_url(location, lower_case(entry.name));
      const sha256_digest* digest = nullptr;
      std::string why;
      if (signed_files) {
        auto found = signed_files->find(lower_case(entry.name));
        if (found == signed_files->end())
          why = "is listed, but the signed document does not give it";
        else
          digest = &found->second;
      }
      if (why.empty()) why = options_.quick ? announced_length_problem(url, entry) : stream_problem(url, entry, digest);
      ++counts.first;
      if (why.empty()) continue;
      ++counts.second;
      bool missing = why.starts_with("missing"), unsigned_bytes = why.find("signed document") != std::string::npos;
      out_.problem(url, why,
                   missing          ? "missing"
                   : unsigned_bytes ? "signature"
                                    : "stream",
                   location + (missing          ? ": file(s) missing"
                               : unsigned_bytes ? ": file(s) that are not the bytes signed"
                                                : ": file(s) that are not the stream listed"));
    }
  }

  // A tree's files as players fetch them from `location`.
  served_file served_at(const std::string& location) {
    return [this, location](const char* name, std::string& bytes, std::string& why) {
      http_client::answer got;
      if (!http_.get_text(download_url(location, name), bytes, got)) {
        why = std::string(name) + " cannot be fetched: " + got.error;
        return false;
      }
      if (got.status == 200) return true;
      why = std::string(name) + " is not served: HTTP " + std::to_string(got.status);
      return false;
    };
  }

  std::string announced_length_problem(const std::string& url, const file_entry& entry) {
    http_client::answer got;
    if (!http_.get(url, nullptr, got, false)) return "cannot be fetched: " + got.error;
    if (got.status != 200) return "missing: HTTP " + std::to_string(got.status);
    if (got.length != static_cast<curl_off_t>(entry.packed_size))
      return "the server announces " + std::to_string(got.length) + " bytes; the list says " +
             std::to_string(entry.packed_size);
    return {};
  }

  std::string stream_problem(const std::string& url, const file_entry& entry, const sha256_digest* signed_digest) {
    release_digest digest;
    stream_check check(signed_digest ? &digest : nullptr);
    http_client::answer got;
    bool answered = http_.get(
        url,
        [&](const char* bytes, std::size_t count) {
          // A body longer than listed is wrong whatever follows; no need to take it all.
          if (check.facts().packed_size > entry.packed_size || check.broken()) return false;
          check.feed(bytes, count);
          return true;
        },
        got);
    if (!answered) return "cannot be fetched: " + got.error;
    if (got.status != 200) return "missing: HTTP " + std::to_string(got.status);
    bool ended = check.finish();
    if (check.facts().packed_size > entry.packed_size)
      return "is longer than the " + std::to_string(entry.packed_size) + " bytes the list says";
    std::string why = check.fault();
    if (why.empty()) why = stream_mismatch(check.facts(), entry);
    if (why.empty() && !ended) why = "the stream ends early";
    return why.empty() && signed_digest ? signed_digest_problem(digest, *signed_digest) : why;
  }

  // No script is fine: the client runs only a body that starts with "Corvid Patch".
  void check_script_at(const std::string& location) {
    std::string url = download_url(location, command_script_name), text;
    std::vector<std::string> lines;
    http_client::answer got;
    if (!http_.get_text(url, text, got) || got.status != 200 || !text.starts_with(list_header_text)) return;
    check_command_script(text, installed_, lines);
    for (const std::string& line : lines) out_.problem(url, line);
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
  std::string error;
  if (options.expect && !read_expected(*options.expect, check.expected.emplace(), check.expected_client_list, error)) {
    out.error(error);
    return out.finish(exit_refused);
  }
  if (options.key && !read_public_key_file(*options.key, check.key.emplace(), error)) {
    out.problem(display_path(*options.key), error);
    check.key.reset();
  }
  server_info info;
  if (check.read_server_information(info)) check.check_locations(info);
  if (out.problem_count() != 0) {
    out.error(std::to_string(out.problem_count()) + " problem(s); players would meet errors");
    return out.finish(exit_refused);
  }
  if (out.data().contains("down")) return out.finish(exit_done);
  out.line("http://" + options.url.substr(options.url.rfind("http://", 0) == 0 ? 7 : 0) + ": no problem found");
  return out.finish(exit_done);
}

}  // namespace corvid::publish
