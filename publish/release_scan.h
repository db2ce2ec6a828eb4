#pragma once
// Lists the files of a release folder and refuses, with the offending path, every one
// that the client could not install.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "publish/platform.h"

namespace corvid::publish {

struct release_file {
  std::string name;  // relative, "/" separators, letter case as found
  std::filesystem::path path;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970, UTC
  file_identity identity;     // as listed; the file must still match it once read
};

// Every regular file below `root` but those `excludes` leave out. A pattern (with "*"
// and "?") matches a file's or folder's own name, or its whole path from `root` when
// it holds a "/". Empty folders carry nothing the client could install and are left
// out, and so are .git, .DS_Store and Thumbs.db, with a warning. `files` comes sorted by lower-cased name. Adds every
// refusal to `problems` and every link that leads out of the release to `warnings`; true when nothing is refused.
bool scan_release(const std::filesystem::path& root, const std::vector<std::string>& excludes,
                  std::vector<release_file>& files, std::vector<std::string>& problems,
                  std::vector<std::string>& warnings);

}  // namespace corvid::publish
