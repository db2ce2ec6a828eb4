#pragma once
// Inflates a zlib stream into a file while the stream arrives, through one fixed
// buffer, so that memory stays the same whatever the file's size.

#include <windows.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace corvid {

enum class inflate_outcome {
  complete,       // exactly the expected bytes, all written
  out_of_memory,  // zlib could not have its state
  bad_stream,     // not a zlib stream, or not exactly the expected bytes
  write_failed,
};

class inflating_writer {
 public:
  // For a stream that must give exactly `expected_size` bytes.
  explicit inflating_writer(std::uint32_t expected_size);
  ~inflating_writer();
  inflating_writer(const inflating_writer&) = delete;
  inflating_writer& operator=(const inflating_writer&) = delete;

  // False when zlib's state could not be allocated; nothing else works then.
  bool ready() const { return ready_; }

  // The next piece of the stream, inflated into `file`. Once the stream is known to be bad, the rest is
  // ignored; output beyond the expected size is never written. After a failed write
  // the stream is still inflated, without writing, so that a bad stream is told
  // from a bad disk.
  void feed(HANDLE file, const unsigned char* bytes, std::size_t length);

  // After the last piece: writes what is left and says how it all went.
  inflate_outcome finish(HANDLE file);

 private:
  void write_pending(HANDLE file);

  z_stream stream_{};
  std::uint64_t expected_size_;
  std::uint64_t produced_ = 0;
  std::size_t pending_ = 0;
  bool ready_ = false;
  bool ended_ = false;
  bool bad_stream_ = false;
  bool out_of_memory_ = false;
  bool write_failed_ = false;
};

}  // namespace corvid
