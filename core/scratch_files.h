#pragma once

#include <string_view>

#include "core/product.h"
#include "text/fixed_text.h"
#include "text/lower_case.h"

namespace corvid {
// The files a run keeps for its own use. Start-up and the shutdown clean-up delete all
// of them that are in the installation folder, so that an interrupted run leaves none
// behind there.

// The server information file, the update client's file list and the patch header,
// one after the other.
inline constexpr const char* server_scratch_file = list_file_name;
inline constexpr const char* command_script_file = command_script_name;

// Every fetched file is written to a scratch copy in its own folder and moved over the
// installed copy only once it is complete, so that no failure costs the player the copy
// they have. The copy takes the first of these names that it can have in that folder:
// "cfetch.dat", or "cfetch1.dat" to "cfetch9.dat" when a folder, or a file another
// program holds open, has the name before. The names are the same for every file of a
// folder, so a copy left by a killed run is overwritten by the next fetch into that
// folder instead of piling up. They are short names of the 8.3 form, which Windows
// gives no second name that a listed file could take.
inline constexpr int scratch_copy_name_count = 10;
using scratch_copy_name = fixed_text<12>;

inline scratch_copy_name scratch_copy_name_at(int index) {
  scratch_copy_name name;
  if (index == 0) {
    name.assign("cfetch.dat");
  } else {
    name.format("cfetch%d.dat", index);
  }
  return name;
}

// True when a part of `path` between separators is one of those names as Windows
// takes it: in any letter case, and with the dots and blanks that end a name dropped. A
// listed or moved file of that name would be overwritten by a fetch, and a folder of
// that name would stand in its way.
inline bool names_a_scratch_copy(std::string_view path) {
  while (!path.empty()) {
    std::size_t end = path.find_first_of("/\\");
    std::string_view part = path.substr(0, end);
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
    if (part.size() >= 10 && equal_ignoring_case(part.substr(0, 6), "cfetch") &&
        equal_ignoring_case(part.substr(part.size() - 4), ".dat")) {
      std::string_view number = part.substr(6, part.size() - 10);
      if (number.empty() || (number.size() == 1 && number[0] >= '1' && number[0] <= '9')) return true;
    }
    path = end == std::string_view::npos ? std::string_view() : path.substr(end + 1);
  }
  return false;
}

}  // namespace corvid
