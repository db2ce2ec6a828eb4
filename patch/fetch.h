#pragma once
// Downloads, inflates and installs the entries of the shared file list that the check
// marked, from one host or from the mirror table in turn.

#include <cstdint>

#include "core/update_state.h"
#include "net/download.h"
#include "core/file_entry.h"
#include "patch/signing_values.h"

namespace corvid {

// Codes left in `state.last_error_code` when a file cannot be fetched.
enum fetch_error : std::int32_t {
  fetch_cannot_open_url = 301,
  fetch_no_memory = 302,
  fetch_read_failed = 303,
  fetch_wrong_size = 304,  // also a transfer cut short by Cancel
  fetch_cannot_inflate = 305,
  fetch_cannot_make_directory = 306,
  fetch_cannot_create_file = 307,  // the scratch copy, or the move of the finished copy
  fetch_write_failed = 308,        // writing the scratch copy, or flushing it to the disk
  fetch_cannot_make_writable = 309,
  fetch_not_as_signed = 310,  // the inflated file's SHA-256 is not the signed one
};

// Every marked file from `host`, in list order; the first failure ends the run.
// `files_fetched` counts the files installed.
bool fetch_marked_files(const char* host, int& files_fetched);

// The same, each file from the next mirror of `hosts` (one column of the alternate
// host table); the rotation goes on where the previous call left it.
bool fetch_marked_files_rotating(const server_location* hosts, int host_count, int& files_fetched);

// Fetches `url`, a zlib stream of exactly `entry.packed_size` bytes, and inflates it
// as it arrives into a scratch copy beside `entry.name`. Only when exactly `entry.size`
// bytes are there (and on the disk, for all but small files) is the copy moved over
// `entry.name`, in one step, and given the listed time. Until then the installed copy
// stays untouched, byte for byte and with its time, whatever fails; only a read-only
// one is made writable first. With `signed_digest`, the inflated file must have that
// SHA-256 too.
bool fetch_file(const char* url, file_entry& entry, progress_callback_type progress_callback,
                const sha256_digest* signed_digest = nullptr);

}  // namespace corvid
