#pragma once
// The command lines of corvid-publish: the two commands, their options and help.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "publish/report.h"
#include "publish/server_info.h"

namespace CLI {
class App;
}

namespace corvid::publish {

inline constexpr int exit_done = 0;
inline constexpr int exit_refused = 1;
inline constexpr int exit_usage = 2;

// Chosen by measuring a release of text and binary files; the help says why.
inline constexpr int default_level = 6;

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
  int level = default_level;
  bool dry_run = false;
  output_options output;
};

struct verify_options {
  std::filesystem::path out;
  std::string url;  // a server information location, as update.dat names it
  bool quick = false;
  output_options output;
};

// The whole command line. Exactly one of the two commands is chosen once it parses.
class command_line {
 public:
  command_line();
  ~command_line();

  // The exit code when the run ends here: help or the version was asked for (0), or the
  // command line is not understood (2, with why on the standard error).
  std::optional<int> parse(int argc, char** argv);

  bool build_chosen() const;
  const build_options& build() const { return build_; }
  const verify_options& verify() const { return verify_; }

 private:
  bool finish_build(std::string& error);
  bool finish_verify(std::string& error);

  struct raw_values;
  std::unique_ptr<CLI::App> app_;
  CLI::App* build_command_ = nullptr;
  CLI::App* verify_command_ = nullptr;
  std::unique_ptr<raw_values> raw_;
  build_options build_;
  verify_options verify_;
};

extern const char* const general_help;
extern const char* const build_help;
extern const char* const verify_help;

}  // namespace corvid::publish
