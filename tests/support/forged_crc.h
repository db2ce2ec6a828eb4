#pragma once
// What anyone can do to a file: give other bytes the CRC-32 of the ones published, so
// that only a cryptographic digest tells them apart.

#include <array>
#include <cstdint>
#include <string>

namespace corvid {

inline const std::array<std::uint32_t, 256>& crc32_table() {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> made{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t value = i;
      for (int bit = 0; bit < 8; ++bit) value = value & 1 ? 0xEDB88320u ^ (value >> 1) : value >> 1;
      made[i] = value;
    }
    return made;
  }();
  return table;
}

// Four bytes appended to `bytes` so that the whole has the CRC-32 `wanted`.
inline std::string with_forged_crc(std::string bytes, std::uint32_t wanted) {
  const auto& table = crc32_table();
  // Backwards from the register that gives `wanted`: each step's table entry is the one
  // whose top byte the register has. Then forwards, each appended byte picks that entry.
  std::uint32_t reg = ~wanted;
  unsigned char index[4];
  for (int step = 3; step >= 0; --step) {
    unsigned char i = 0;
    while (table[i] >> 24 != reg >> 24) ++i;
    index[step] = i;
    reg = (reg ^ table[i]) << 8;
  }
  reg = 0xFFFFFFFFu;
  for (char c : bytes) reg = (reg >> 8) ^ table[(reg ^ static_cast<unsigned char>(c)) & 0xFF];
  for (unsigned char i : index) {
    bytes += static_cast<char>((reg ^ i) & 0xFF);
    reg = (reg >> 8) ^ table[i];
  }
  return bytes;
}

}  // namespace corvid
