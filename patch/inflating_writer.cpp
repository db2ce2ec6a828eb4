#include "patch/inflating_writer.h"

#include <new>

namespace corvid {

inflating_writer::inflating_writer(std::uint32_t expected_size, byte_sink* digest)
    : buffer_(new (std::nothrow) unsigned char[buffer_size]),
      expected_size_(expected_size),
      inflater_(std::span<unsigned char>(buffer_.get(), buffer_ ? buffer_size : 0), *this, expected_size),
      digest_(digest) {}

void inflating_writer::feed(HANDLE file, const unsigned char* bytes, std::size_t length) {
  file_ = file;
  inflater_.feed(bytes, length);
}

inflate_outcome inflating_writer::finish(HANDLE file) {
  file_ = file;
  inflate_outcome outcome = inflater_.finish();
  if (outcome == inflate_outcome::ends_early) return inflate_outcome::bad_stream;
  if (outcome == inflate_outcome::complete && inflater_.produced() != expected_size_)
    return inflate_outcome::bad_stream;
  if (outcome == inflate_outcome::complete && write_failed_) return inflate_outcome::write_failed;
  return outcome;
}

// Never refuses: after a failed write the digest still sees the rest, so that a file
// that is not the signed one is told from a full disk.
bool inflating_writer::take(const unsigned char* bytes, std::size_t length) {
  if (digest_ != nullptr && !digest_failed_) digest_failed_ = !digest_->take(bytes, length);
  if (write_failed_) return true;
  DWORD written = 0;
  write_failed_ = !WriteFile(file_, bytes, static_cast<DWORD>(length), &written, nullptr) || written != length;
  return true;
}

}  // namespace corvid
