#pragma once
// Inflates a fetched file's zlib stream into the file that will be installed, while the
// stream arrives, through one buffer of its own, so that memory stays the same whatever
// the file's size.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "patch/inflater.h"

namespace corvid {

class inflating_writer final : private byte_sink {
 public:
  // For a stream that must give exactly `expected_size` bytes. Every inflated byte goes
  // to `digest` too, when there is one, written or not.
  explicit inflating_writer(std::uint32_t expected_size, byte_sink* digest = nullptr);
  ~inflating_writer() = default;
  inflating_writer(const inflating_writer&) = delete;
  inflating_writer& operator=(const inflating_writer&) = delete;

  // False when the buffer or zlib's state could not be allocated; nothing else works then.
  bool ready() const { return buffer_ != nullptr && inflater_.ready(); }

  // The next piece of the stream, inflated into `file`. Once the stream is known to be
  // bad, the rest is ignored; output beyond the expected size is never written. After a
  // failed write the stream is still inflated, without writing, so that a bad stream is
  // told from a bad disk.
  void feed(HANDLE file, const unsigned char* bytes, std::size_t length);

  // After the last piece: writes what is left and says how it all went. A stream that
  // is not exactly the expected bytes is a bad one.
  inflate_outcome finish(HANDLE file);
  // False when the digest refused a piece: it has not seen the whole file.
  bool digest_whole() const { return !digest_failed_; }

 private:
  bool take(const unsigned char* bytes, std::size_t length) override;

  static constexpr std::size_t buffer_size = 256 * 1024;
  std::unique_ptr<unsigned char[]> buffer_;
  std::uint32_t expected_size_;
  inflater inflater_;
  byte_sink* digest_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool write_failed_ = false;
  bool digest_failed_ = false;
};

}  // namespace corvid
