#pragma once
// A publish is built beside its target, in "<out>.staging", and swapped in by two
// renames at the end, so a web server serving the target never sees half a tree and
// a failed or interrupted run leaves the earlier tree as it was.

#include <filesystem>
#include <string>
#include <vector>

struct output_paths {
  std::filesystem::path out;
  std::filesystem::path staging;   // the new tree while it is being written
  std::filesystem::path previous;  // the earlier tree during the swap
};

output_paths output_paths_for(const std::filesystem::path& out);

// Only an absent or empty folder, or a tree this tool published, is replaced: an
// --out given by mistake must not swallow someone's files.
bool output_is_replaceable(const output_paths& paths, std::string& why);

// Puts back an earlier tree that a run interrupted between its two renames had moved
// aside, and removes what such a run left behind. Says what it did in `notes`.
bool recover_interrupted_run(const output_paths& paths, std::vector<std::string>& notes, std::string& error);

bool create_staging(const output_paths& paths, std::string& error);
bool swap_into_place(const output_paths& paths, std::string& error);
void discard_staging(const output_paths& paths);
