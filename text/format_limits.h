#pragma once
// The first line and the limits of the files an update server publishes. The client
// reads them and the publishing tool writes them, so both take them from here.

#include <cstddef>
#include <string_view>

namespace corvid {

// The first line of every published text file and of the local update.dat.
inline constexpr std::string_view list_header_text = "Corvid Patch";

inline constexpr int max_listed_files = 7500;
inline constexpr std::size_t patch_header_size = 19;

// Characters a line holds in the client's buffers: a list's header and count lines,
// every line of the command script and of the server information file, and update.dat.
inline constexpr std::size_t max_text_line_length = 1023;
// An entry line of a list.
inline constexpr std::size_t max_entry_line_length = 511;
// A listed name, a command's field, a numeric field.
inline constexpr std::size_t max_name_length = 255;

}  // namespace corvid
