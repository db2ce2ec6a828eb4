#pragma once
// Paths as Windows takes them: "/" and "\" both separate folders, and a path without the
// long-path prefix holds at most 259 characters. Needs no windows.h.

#include <cstddef>
#include <string_view>
#include <vector>

#include "text/fixed_text.h"

namespace corvid {

inline constexpr std::size_t longest_path = 259;

// The one buffer for a Windows path.
using path_text = fixed_text<longest_path + 1>;

inline bool is_separator(char c) { return c == '/' || c == '\\'; }

// What stands between the separators, empty parts included: "a//b/" gives a, "", b, "".
inline std::vector<std::string_view> path_components(std::string_view path) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    std::size_t end = path.find_first_of("/\\", start);
    parts.push_back(path.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// The file name and extension: what follows the last separator or drive colon.
inline std::string_view base_name(std::string_view path) {
  std::size_t last = path.find_last_of("/\\:");
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

// Everything up to and including the last separator, empty when there is none. A drive
// stays with it, so that a path on another drive is not looked for on the current one.
inline std::string_view directory_part(std::string_view path) {
  std::size_t last = path.find_last_of("/\\");
  return last == std::string_view::npos ? std::string_view() : path.substr(0, last + 1);
}

}  // namespace corvid
