#pragma once
// A publish is built beside its target, in "<out>.staging", and switched in at the end
// in one step, so a web server serving the target never sees half a tree or none, and
// a failed or interrupted run leaves the earlier tree as it was. The tree it replaces
// stays as "<out>.previous" until the next switch, so that a request that had already
// found its way into it still finds its files.

#include <filesystem>
#include <string>
#include <vector>

namespace corvid::publish {

struct output_paths {
  std::filesystem::path out;       // the folder the tree is published into
  std::filesystem::path link;      // --out when it is a link to `out`; empty otherwise
  std::filesystem::path staging;   // the new tree while it is being written
  std::filesystem::path previous;  // the tree the last switch replaced
  std::filesystem::path lock;      // held by the one run that may publish into `out`
  std::filesystem::path kept;      // the options and serial kept for the next run
};

// A link at --out is published through: the folder it points to gets the tree and
// the link stays as it is. False with why for a link that leads to no folder.
bool resolve_output_paths(const std::filesystem::path& out, output_paths& paths, std::string& error);

// Only an absent or empty folder, or a tree this tool published, is replaced: an
// --out given by mistake must not swallow someone's files.
bool output_is_replaceable(const output_paths& paths, std::string& why);

// Only for the holder of the lock: puts back an earlier tree that an interrupted
// two-step switch had moved aside, and removes the tree an interrupted run was
// writing. Says what it did in `notes`.
bool recover_interrupted_run(const output_paths& paths, std::vector<std::string>& notes, std::string& error);

bool create_staging(const output_paths& paths, std::string& error);

// Folders 0755 and files 0644 below `folder`, whatever the umask, so that a web server
// running as another user can serve them.
bool open_to_readers(const std::filesystem::path& folder, std::string& error);

// Files at the top of `out` that this tool does not write there, a robots.txt put by
// hand for example, go into the staging tree as hard links, so that the switch keeps
// them. `dropped` names server information files to leave behind.
bool carry_over(const output_paths& paths, const std::vector<std::string>& dropped, std::string& error);

// Where the file system cannot swap two folders in one step (Windows among them), the
// switch takes two renames and says so in `notes`.
bool swap_into_place(const output_paths& paths, std::vector<std::string>& notes, std::string& error);

void discard_staging(const output_paths& paths);

}  // namespace corvid::publish
