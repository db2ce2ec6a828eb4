#include "patch/inflating_writer.h"

#include <algorithm>
#include <new>

namespace corvid {

namespace {

// One output buffer for every file: the fetcher installs one file at a time.
constexpr std::size_t output_size = 256 * 1024;
unsigned char output[output_size];

// zlib's state comes from operator new, so that running out of memory shows as it
// does everywhere else in the program: a null pointer.
voidpf allocate(voidpf, uInt items, uInt size) {
  return ::operator new(static_cast<std::size_t>(items) * size, std::nothrow);
}

void release(voidpf, voidpf address) { ::operator delete(address); }

}  // namespace

inflating_writer::inflating_writer(std::uint32_t expected_size) : expected_size_(expected_size) {
  stream_.zalloc = allocate;
  stream_.zfree = release;
  ready_ = inflateInit(&stream_) == Z_OK;
}

inflating_writer::~inflating_writer() {
  if (ready_) inflateEnd(&stream_);
}

void inflating_writer::feed(HANDLE file, const unsigned char* bytes, std::size_t length) {
  stream_.next_in = bytes;
  stream_.avail_in = static_cast<uInt>(length);
  while (ready_ && stream_.avail_in > 0 && !ended_ && !bad_stream_ && !out_of_memory_) {
    // Room for one byte more than the file may still have: a stream that gives it is
    // known to be too long at once, before a byte past the file's size is written.
    std::size_t room =
        static_cast<std::size_t>(std::min<std::uint64_t>(output_size - pending_, expected_size_ - produced_ + 1));
    stream_.next_out = output + pending_;
    stream_.avail_out = static_cast<uInt>(room);
    int result = inflate(&stream_, Z_NO_FLUSH);
    std::size_t made = room - stream_.avail_out;
    pending_ += made;
    produced_ += made;
    if (produced_ > expected_size_) {
      bad_stream_ = true;
    } else if (result == Z_STREAM_END) {
      ended_ = true;
    } else if (result == Z_MEM_ERROR) {
      out_of_memory_ = true;
    } else if (result != Z_OK) {
      bad_stream_ = true;
    }
    if (pending_ == output_size) write_pending(file);
  }
}

inflate_outcome inflating_writer::finish(HANDLE file) {
  if (!ready_ || out_of_memory_) return inflate_outcome::out_of_memory;
  if (bad_stream_ || !ended_ || produced_ != expected_size_) return inflate_outcome::bad_stream;
  write_pending(file);
  return write_failed_ ? inflate_outcome::write_failed : inflate_outcome::complete;
}

void inflating_writer::write_pending(HANDLE file) {
  if (pending_ > 0 && !write_failed_ && !bad_stream_) {
    DWORD written = 0;
    if (!WriteFile(file, output, static_cast<DWORD>(pending_), &written, nullptr) || written != pending_) {
      write_failed_ = true;
    }
  }
  pending_ = 0;
}

}  // namespace corvid
