#include "patch/signing_values.h"

namespace corvid {

namespace {

int lower_hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool parse_hex(std::string_view text, unsigned char* bytes, std::size_t size) {
  if (text.size() != 2 * size) return false;
  // A refused text leaves the value as it was.
  for (char c : text) {
    if (lower_hex_digit(c) < 0) return false;
  }
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<unsigned char>(lower_hex_digit(text[2 * i]) << 4 | lower_hex_digit(text[2 * i + 1]));
  }
  return true;
}

}  // namespace corvid
