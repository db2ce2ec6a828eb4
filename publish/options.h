#pragma once
// The command line of corvid-publish: its commands and their options, and the commands
// themselves, each of which returns the process exit code.

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "publish/report.h"
#include "publish/server_info.h"
#include "publish/tree_swap.h"

namespace corvid::publish {

inline constexpr int exit_done = 0;
inline constexpr int exit_refused = 1;
inline constexpr int exit_usage = 2;

// What build keeps beside --out, outside what is served, and takes again for an option
// group that a later run does not give.
struct site_options {
  bool flat = false;  // today's layout: product/ and client/ at the top of --out
  unsigned keep = 3;  // release folders kept for players in the middle of an update
  std::optional<std::string> info_name;
  server_info_settings info;  // where --out is served, in the release layout
  std::optional<std::filesystem::path> commands;
  std::vector<std::string> excludes;
  std::optional<std::filesystem::path> exclude_from;
};

// The kept options and the serial of the last release published into --out, in the
// file "<out>.options"; none kept gives the defaults, and the flat layout for a tree
// published before options were kept. False with why when the file cannot be read.
struct kept_site {
  unsigned serial = 0;
  site_options options;
};
bool read_kept(const output_paths& paths, kept_site& kept, std::string& error);
bool write_kept(const output_paths& paths, const kept_site& kept, std::string& error);

struct build_options;
// The server information files at the top of `out` that players may be reading now.
std::vector<std::string> live_info_names(const std::filesystem::path& out);
// Why this run would take from players what `current` (the release they are given) has
// and the run does not give: the server information file, the client tree or the
// command script. Empty when it takes nothing, or --drop says to.
std::vector<std::string> drop_refusals(const build_options& options, const std::filesystem::path& current);

struct build_options {
  std::filesystem::path release;
  std::filesystem::path out;
  std::optional<std::filesystem::path> client;
  site_options site;
  std::vector<std::string> drops;   // of "info", "client" and "commands": left out on purpose
  std::vector<std::string> reused;  // the kept options this run takes again, as given
  unsigned last_serial = 0;         // of the last release published into --out
  std::optional<long> utc_offset;
  unsigned jobs = 1;
  int level = 6;                                 // the manual says how it was chosen
  std::vector<std::filesystem::path> sign_keys;  // private key files; one signature each
  std::optional<unsigned> expires_days;
  bool dry_run = false;
  output_options output;

  bool dropped(std::string_view what) const { return std::find(drops.begin(), drops.end(), what) != drops.end(); }
};

struct verify_options {
  std::filesystem::path out;
  std::optional<std::filesystem::path> key;     // a public key file: each tree's document must be its
  std::string url;                              // a server information location, as update.dat names it
  std::optional<std::filesystem::path> expect;  // with url: the tree every location must serve
  bool quick = false;
  output_options output;
};

struct push_options {
  std::filesystem::path out;
  std::vector<std::string> targets;  // folders, or HOST:PATH for rsync
  std::string rsh;                   // rsync's --rsh
  output_options output;
};

// The lines of `text`, without their ends; a last line end starts no line.
std::vector<std::string> split_lines(std::string text);

// Parses the command line and runs the command it names. Help and the version end the
// run with 0, a command line that is not understood with 2 and why on the standard error.
int run_command_line(int argc, char** argv);

int run_build(const build_options& options);
// keygen --out FILE: a new key pair in FILE and FILE.pub.
int run_keygen(const std::filesystem::path& file);
int run_verify(const verify_options& options);
int run_push(const push_options& options);
#ifdef CORVID_PUBLISH_HTTP
// verify --url: a live server and its mirrors over HTTP.
int run_verify_url(const verify_options& options);
#endif

}  // namespace corvid::publish
