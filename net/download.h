#pragma once
// The plain download of one URL into one local file, and the two scratch files that
// are fetched that way.

#include <cstdint>

#include "text/fixed_text.h"

namespace corvid {

using progress_callback_type = void (*)(int);

struct download_request {
  const char* url = "";                                // at most 1023 characters
  const char* local_path = "";                         // at most 259 characters; relative to the working directory
  std::uint32_t expected_size = 0;                     // 0: no size given and no size check
  progress_callback_type progress_callback = nullptr;  // called only with an expected size
  bool hidden = false;                                 // hidden and temporary file attributes
};

// Codes left in `state.last_error_code` on failure; success leaves it as it was.
enum download_error : std::int32_t {
  download_cannot_open_url = 201,
  download_cannot_make_directory = 202,
  download_cannot_create_file = 203,
  download_read_failed = 204,
  download_write_failed = 205,
  download_wrong_size = 206,
};

// A body of unstated size is refused past this many bytes, so that a server that never
// stops sending cannot fill the disk.
inline constexpr std::uint32_t unsized_download_limit = 64u * 1024 * 1024;

inline constexpr std::size_t longest_url = 1023;

using url_text = fixed_text<longest_url + 1>;

// Stores the body in `local_path`, whatever the HTTP status. With an expected size the
// body must have exactly that many bytes and must not be cancelled; without one, a
// cancelled transfer leaves the part received and still succeeds. Pumps one window
// message per chunk; the quit message ends the process from in here.
bool download_to_file(download_request request);

// "http://" + host + "/" + file_name; false when it does not fit in a URL.
bool compose_download_url(url_text& url, const char* host, const char* file_name);

// "http://host/file_name" into the local file of the same name, without a stated size.
bool download_from_host(const char* host, const char* file_name, bool hidden);

// Fetch "cpatch.dat" or "command.dat" from `host` into the file of the same name, hidden.
// "cpatch.dat" is the update client's file list on the client header host and the
// patch header on the product header host.
bool fetch_client_list_or_patch_header(const char* host);
bool fetch_command_script(const char* host);

}  // namespace corvid
