#pragma once
// The command lines of corvid-publish and their help texts.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "publish/server_info.h"

struct build_options {
  std::filesystem::path release;
  std::filesystem::path out;
  std::optional<std::filesystem::path> client;
  std::optional<std::filesystem::path> commands;
  std::optional<std::string> info_name;
  server_info info;
  std::optional<long> utc_offset;
  bool help = false;
};

struct verify_options {
  std::filesystem::path out;
  bool help = false;
};

// False with the reason in `error` for a command line that cannot be understood.
bool parse_build_options(const std::vector<std::string>& args, build_options& options, std::string& error);
bool parse_verify_options(const std::vector<std::string>& args, verify_options& options, std::string& error);

extern const char* const general_help;
extern const char* const build_help;
extern const char* const verify_help;
