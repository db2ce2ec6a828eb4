#pragma once
// The command line of corvid-publish: its two commands and their options, and the
// commands themselves, each of which returns the process exit code.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "publish/report.h"
#include "publish/server_info.h"

namespace corvid::publish {

inline constexpr int exit_done = 0;
inline constexpr int exit_refused = 1;
inline constexpr int exit_usage = 2;

struct build_options {
  std::filesystem::path release;
  std::filesystem::path out;
  std::optional<std::filesystem::path> client;
  std::optional<std::filesystem::path> commands;
  std::optional<std::string> info_name;
  server_info_settings info;
  std::optional<long> utc_offset;
  std::vector<std::string> excludes;
  unsigned jobs = 1;
  int level = 6;  // the manual says how it was chosen
  bool dry_run = false;
  output_options output;
};

struct verify_options {
  std::filesystem::path out;
  std::string url;  // a server information location, as update.dat names it
  bool quick = false;
  output_options output;
};

// Parses the command line and runs the command it names. Help and the version end the
// run with 0, a command line that is not understood with 2 and why on the standard error.
int run_command_line(int argc, char** argv);

int run_build(const build_options& options);
int run_verify(const verify_options& options);
#ifdef CORVID_PUBLISH_HTTP
// verify --url: a live server and its mirrors over HTTP.
int run_verify_url(const verify_options& options);
#endif

}  // namespace corvid::publish
