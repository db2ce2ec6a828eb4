#include "patch/checksum.h"

#include <zlib.h>

namespace corvid {

void checksum::add(const void* bytes, std::size_t length) {
  const Bytef* at = static_cast<const Bytef*>(bytes);
  size_ += length;
  // zlib takes 32-bit lengths.
  while (length > 0) {
    uInt piece = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
    crc32_ = static_cast<std::uint32_t>(::crc32(crc32_, at, piece));
    at += piece;
    length -= piece;
  }
}

std::uint32_t crc32_of(std::string_view bytes) {
  checksum sum;
  sum.add(bytes.data(), bytes.size());
  return sum.crc32();
}

}  // namespace corvid
