#pragma once
// The CRC-32 the lists carry, zlib's (reflected polynomial 0xEDB88320), over bytes that
// arrive piece by piece, with their count. Both programs sum files with it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

namespace corvid {

class checksum {
 public:
  void add(const void* bytes, std::size_t length);
  std::uint32_t crc32() const { return crc32_; }
  std::uint64_t size() const { return size_; }

 private:
  std::uint32_t crc32_ = 0;  // zlib's value for no bytes at all
  std::uint64_t size_ = 0;
};

std::uint32_t crc32_of(std::string_view bytes);

// Sums what is left of `file`, a piece of `buffer` at a time, and gives every piece to
// `each_piece`, which ends the reading early by returning false. False only when a read
// failed.
template <typename Each>
bool sum_file(std::FILE* file, std::span<unsigned char> buffer, checksum& sum, Each&& each_piece) {
  for (;;) {
    std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
    if (got == 0) return std::ferror(file) == 0;
    sum.add(buffer.data(), got);
    if (!each_piece(buffer.data(), got)) return true;
  }
}

inline bool sum_file(std::FILE* file, std::span<unsigned char> buffer, checksum& sum) {
  return sum_file(file, buffer, sum, [](const unsigned char*, std::size_t) { return true; });
}

}  // namespace corvid
