#pragma once
// Real folders in a temporary directory, and runs of the real corvid-publish.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/install_folder.h"

// A random-looking but reproducible byte string.
std::string noise(std::size_t size, unsigned seed);

// Sets a file's modification time, in seconds since 1970 UTC.
void set_modified(const std::filesystem::path& path, long long seconds);

struct tool_run {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// `environment` is put before the command, for example "TZ=EST5EDT".
tool_run run_publish(const std::vector<std::string>& args, const std::string& environment = "");

// Every file below `root` with its bytes, by relative path, to compare trees whole.
std::vector<std::pair<std::string, std::string>> snapshot(const std::filesystem::path& root);
