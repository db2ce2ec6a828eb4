#pragma once
// Lists the files of a release folder and refuses, with the offending path, every one
// that the client could not install.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct release_file {
  std::string name;  // relative, "/" separators, letter case as found
  std::filesystem::path path;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970, UTC
};

// Every regular file below `root`, sorted by lower-cased name. Empty folders carry
// nothing the client could install and are left out. Returns false with every
// refusal in `problems`.
bool scan_release(const std::filesystem::path& root, std::vector<release_file>& files,
                  std::vector<std::string>& problems);

// A path for messages, in UTF-8 whatever the platform's path encoding.
std::string display_path(const std::filesystem::path& path);

// A file's modification time in seconds since 1970, UTC.
bool modification_seconds(const std::filesystem::path& path, std::int64_t& seconds);
