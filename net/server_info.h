#pragma once
// The reading of the server information file into values, apart from everything the
// selection does with them, so that it needs no windows.h. Layout: "Corvid Patch",
// client host, product host, an unused line, then a keyword section.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "text/findings.h"
#include "text/fixed_text.h"
#include "text/format_limits.h"
#include "text/line_source.h"

namespace corvid {

using text_line = fixed_text<max_text_line_length + 1>;

inline constexpr int server_info_alternate_slots = 10;
inline constexpr int down_notice_lines = 5;
// The largest "mps" limit the client holds in its 32 bits.
inline constexpr unsigned most_patch_megabytes = 4095;

enum class server_info_outcome {
  wrong_first_line,    // 104
  no_client_host,      // 105
  no_product_host,     // 106
  down,                // a notice for the player; the run ends
  redirected,          // "uurl": a new server information location
  header_hosts_given,  // "mft"
  alternate_hosts,     // "aurl"
  plain,               // any other keyword, "mps" among them
};

struct server_info {
  server_info_outcome outcome = server_info_outcome::wrong_first_line;
  text_line client_host;  // lower-cased
  text_line product_host;
  text_line client_header_host;  // "mft" only, lower-cased
  text_line product_header_host;
  text_line new_location;        // "uurl" only, lower-cased
  fixed_text<4096> down_notice;  // each line followed by "\n"; cut when too long
  // "aurl" only, taken as they stand: [0] client column, [1] product column.
  text_line alternate_hosts[2][server_info_alternate_slots];
  int alternate_host_count = 0;
  bool max_patch_size_given = false;
  std::uint32_t max_patch_size = 0;  // bytes
};

// Where the client refuses the file, skips a line or reads one otherwise than written.
enum class server_info_finding {
  wrong_first_line,       // line 1 (text) is not the list header: the file is refused
  location_missing,       // the file ends where a location is read: it is taken as empty
  no_notice,              // "down" with no line after it
  no_mirror_pair,         // "aurl" whose table ends before its first pair
  not_mps_after_mirrors,  // the line after the table is read, and not used
  limit_missing,          // the file ends where the number after "mps" is read: no limit
  limit_not_a_number,     // (text) not 0 to 4095 written in digits: atoi reads something else
  unknown_keyword,        // (text) nothing after it is read
  unread_lines,           // the client stops reading before this line
};
using server_info_findings = findings<server_info_finding>;

// Each location the reader takes, as written, on the line it takes it from; a missing one
// on the line it would have had. For a reader that checks them.
enum class location_role { client_host, product_host, client_header_host, product_header_host, redirect, mirror };
struct location_read {
  std::size_t line = 0;
  location_role which{};
  std::string text;
};

// Reads the file from `lines`, which should read it in text mode.
server_info read_server_info(line_source& lines, server_info_findings* found = nullptr,
                             std::vector<location_read>* locations = nullptr);

struct host_pair {
  std::string client;
  std::string product;
};

// What a server information file is to say. corvid-publish writes it; the client never
// does. The layout has room for one keyword section.
struct server_info_settings {
  std::string client_host;
  std::string product_host;
  std::optional<host_pair> header_hosts;  // "mft"
  std::vector<host_pair> mirrors;         // "aurl"
  std::optional<unsigned> max_patch_mb;   // "mps", alone or after the mirrors
  std::vector<std::string> down_lines;    // "down"
  std::optional<std::string> redirect;    // "uurl"
};

// The file as the reader above reads it: of several sections, the first of down,
// redirect, header hosts, mirrors and limit.
std::string write_server_info(const server_info_settings& info);

// The megabytes of an "mps" line as atoi reads them (leading blanks, a sign, digits),
// in bytes. Out of range saturates rather than wraps: below 0 gives 0, no limit; above
// the 32-bit range gives the greatest limit.
std::uint32_t max_patch_size_from(const char* megabytes);

}  // namespace corvid
