#pragma once
// What every transfer of a body shares: the request, opened the same way for every file,
// and the body read in chunks of one size, with one window message pumped between full
// chunks. Where the chunks go is the sink's affair.

#include <windows.h>
#include <wininet.h>

#include <cstddef>

#include "core/byte_sink.h"
#include "core/message_pump.h"
#include "core/update_state.h"
#include "platform/handles.h"

namespace corvid {

inline constexpr std::size_t transfer_chunk_size = 1024;

// Always from the server, never into the cache, the connection kept alive.
internet_handle open_request(const char* url, DWORD_PTR context);

enum class body_end {
  complete,     // the body ended, or the cancel flag was set: the caller looks at the flag
  read_failed,  // InternetReadFile failed
  stopped,      // the sink refused a chunk
};

// Reads the body of `request` into `sink`, a chunk at a time and never an empty one; a
// chunk the sink refuses ends the transfer. A quit message met between chunks closes the
// caller's handles, in the order given, and takes the quit path.
template <typename... Owners>
body_end read_body(HINTERNET request, byte_sink& sink, Owners&... close_on_quit) {
  unsigned char chunk[transfer_chunk_size];
  while (!state.cancel_flag) {
    DWORD received = 0;
    if (!InternetReadFile(request, chunk, transfer_chunk_size, &received)) return body_end::read_failed;
    if (received == 0) break;
    if (!sink.take(chunk, received)) return body_end::stopped;
    // A short read is taken as the last one.
    if (received < transfer_chunk_size) break;
    pump_one_message(close_on_quit...);
  }
  return body_end::complete;
}

}  // namespace corvid
