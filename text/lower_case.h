#pragma once

#include <cstddef>
#include <string_view>

namespace corvid {

// ASCII capitals become small letters by adding 32; every other byte stays, so names
// in the system's code page are never altered beyond plain ASCII.
inline char lower_case_of(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

inline void lower_case_in_place(char* text) {
  for (; *text != '\0'; ++text) *text = lower_case_of(*text);
}

// Equal when ASCII letter case is ignored, as the C run-time's case-blind compare is in
// the "C" locale.
inline bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower_case_of(a[i]) != lower_case_of(b[i])) return false;
  }
  return true;
}

}  // namespace corvid
