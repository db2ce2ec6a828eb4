#include "patch/inflater.h"

#include <new>

namespace corvid {

namespace {

// zlib's state comes from operator new, so that running out of memory shows as it
// does everywhere else in the program: a null pointer.
voidpf allocate(voidpf, uInt items, uInt size) {
  return ::operator new(static_cast<std::size_t>(items) * size, std::nothrow);
}

void release(voidpf, voidpf address) { ::operator delete(address); }

}  // namespace

inflater::inflater(std::span<unsigned char> buffer, byte_sink& sink, std::uint64_t limit)
    : buffer_(buffer), sink_(sink), limit_(limit) {
  stream_.zalloc = allocate;
  stream_.zfree = release;
  ready_ = !buffer.empty() && inflateInit(&stream_) == Z_OK;
}

inflater::~inflater() {
  if (ready_) inflateEnd(&stream_);
}

void inflater::feed(const unsigned char* bytes, std::size_t length) {
  fed_ += length;
  if (ended_ && length > 0) bytes_after_end_ = true;
  stream_.next_in = bytes;
  stream_.avail_in = static_cast<uInt>(length);
  while (ready_ && stream_.avail_in > 0 && !ended_ && !bad_stream_ && !out_of_memory_) {
    // Room for one byte more than the limit leaves: a stream that gives it is known to be
    // too long at once, before a byte past the limit is passed on.
    std::size_t room = buffer_.size() - pending_;
    if (limit_ - produced_ < room) room = static_cast<std::size_t>(limit_ - produced_) + 1;
    stream_.next_out = buffer_.data() + pending_;
    stream_.avail_out = static_cast<uInt>(room);
    int result = inflate(&stream_, Z_NO_FLUSH);
    std::size_t made = room - stream_.avail_out;
    pending_ += made;
    produced_ += made;
    if (produced_ > limit_) {
      bad_stream_ = true;
    } else if (result == Z_STREAM_END) {
      ended_ = true;
      bytes_after_end_ = stream_.avail_in > 0;
    } else if (result == Z_MEM_ERROR) {
      out_of_memory_ = true;
    } else if (result != Z_OK) {
      bad_stream_ = true;
    }
    if (pending_ == buffer_.size()) pass_on();
  }
}

inflate_outcome inflater::finish() {
  if (!ready_ || out_of_memory_) return inflate_outcome::out_of_memory;
  if (bad_stream_) return inflate_outcome::bad_stream;
  if (!ended_) return inflate_outcome::ends_early;
  pass_on();
  return write_failed_ ? inflate_outcome::write_failed : inflate_outcome::complete;
}

void inflater::pass_on() {
  if (pending_ > 0 && !write_failed_ && !bad_stream_) write_failed_ = !sink_.take(buffer_.data(), pending_);
  pending_ = 0;
}

bool inflate_whole(const unsigned char* packed, std::size_t packed_size, unsigned char* out, std::size_t size) {
  uLongf length = static_cast<uLongf>(size);
  return uncompress(out, &length, packed, static_cast<uLong>(packed_size)) == Z_OK && length == size;
}

}  // namespace corvid
