#pragma once
// The server's command script "command.dat": removes and renames files and folders a
// new release no longer uses, never outside the installation folder. Every command is
// best effort; a command that cannot be carried out is skipped without a word.

#include <vector>

#include "text/fixed_text.h"
#include "text/format_limits.h"

namespace corvid {

using matched_file_name = fixed_text<max_name_length + 1>;

// True when the header matched and the script was run to its end.
bool run_command_script(const char* path);

// True when the folder part of `path` (everything up to its last separator, with its
// drive), resolved against the working directory, is `base` or lies below it.
bool path_inside_installation(const char* base, const char* path);

// Every plain file that `directory` + `pattern` matches, as `directory` + its name.
void list_matching_files(std::vector<matched_file_name>& list, const char* directory, const char* pattern);

inline constexpr std::size_t most_matched_files = 65535;

}  // namespace corvid
