#pragma once
// zlib streams as the server serves every file: inflated as they arrive, piece by piece,
// into a sink, or whole. The client writes what comes out into the file it installs and
// corvid-publish checks it; both read it here. Needs no windows.h.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/byte_sink.h"

namespace corvid {

enum class inflate_outcome {
  complete,       // the stream ended within its limit, and the sink took all of it
  out_of_memory,  // zlib could not have its state
  bad_stream,     // not a zlib stream, or a longer one than its limit
  ends_early,     // the bytes stopped before the stream's end
  write_failed,   // the sink did not take a piece
};

class inflater {
 public:
  static constexpr std::uint64_t no_limit = UINT64_MAX;

  // Output gathers in `buffer`, which the owner provides and keeps, and goes to `sink`
  // whenever the buffer is full and at the end. A stream that gives more than `limit`
  // bytes is bad as soon as it does, and no byte past the limit reaches the sink. A sink
  // that refuses is given nothing more, but the stream is still inflated to its end, so
  // that a bad stream is told from a bad sink.
  inflater(std::span<unsigned char> buffer, byte_sink& sink, std::uint64_t limit = no_limit);
  ~inflater();
  inflater(const inflater&) = delete;
  inflater& operator=(const inflater&) = delete;

  // False when zlib's state could not be allocated; nothing else works then.
  bool ready() const { return ready_; }

  // The next piece of the stream. Once the stream is known to be bad the rest is ignored,
  // and so is whatever follows its end.
  void feed(const unsigned char* bytes, std::size_t length);

  // After the last piece: gives the sink what is left and says how it all went.
  inflate_outcome finish();

  std::uint64_t produced() const { return produced_; }
  std::uint64_t fed() const { return fed_; }
  // Bytes came after the stream's end. zlib's uncompress takes no notice of them either.
  bool bytes_after_end() const { return bytes_after_end_; }
  // Known already not to be one whole stream of the fed bytes, or not to be read.
  bool broken() const { return !ready_ || out_of_memory_ || bad_stream_ || bytes_after_end_; }

 private:
  void pass_on();

  z_stream stream_{};
  std::span<unsigned char> buffer_;
  byte_sink& sink_;
  std::uint64_t limit_;
  std::uint64_t produced_ = 0;
  std::uint64_t fed_ = 0;
  std::size_t pending_ = 0;
  bool ready_ = false;
  bool ended_ = false;
  bool bad_stream_ = false;
  bool out_of_memory_ = false;
  bool write_failed_ = false;
  bool bytes_after_end_ = false;
};

// Inflates `packed`, one whole zlib stream, as zlib's uncompress does, into `out`; true
// only when exactly `size` bytes came out.
bool inflate_whole(const unsigned char* packed, std::size_t packed_size, unsigned char* out, std::size_t size);

}  // namespace corvid
