#pragma once
// The fixed-size values of signed releases: SHA-256 digests, ECDSA P-256 signatures and
// public keys. Lower-case hexadecimal is their one written form, in the signed document,
// in the key files and in the key built into the client. Needs no windows.h.

#include <array>
#include <cstddef>
#include <string_view>

#include "text/fixed_text.h"

namespace corvid {

using sha256_digest = std::array<unsigned char, 32>;
// r then s, 32 bytes each, big-endian: the form CNG signs and verifies.
using ecdsa_signature = std::array<unsigned char, 64>;
// The curve point's x then y, 32 bytes each, big-endian: the body of CNG's public blob.
using release_public_key = std::array<unsigned char, 64>;

// Exactly two lower-case hexadecimal digits a byte, nothing before or after: any other
// spelling is refused, so that no signed value has a second form.
bool parse_hex(std::string_view text, unsigned char* bytes, std::size_t size);

template <std::size_t N>
bool parse_hex(std::string_view text, std::array<unsigned char, N>& value) {
  return parse_hex(text, value.data(), N);
}

template <std::size_t N>
fixed_text<2 * N + 1> hex_text(const std::array<unsigned char, N>& value) {
  static constexpr char digits[] = "0123456789abcdef";
  fixed_text<2 * N + 1> text;
  char* out = text.buffer();
  for (unsigned char byte : value) {
    *out++ = digits[byte >> 4];
    *out++ = digits[byte & 15];
  }
  *out = '\0';
  return text;
}

}  // namespace corvid
