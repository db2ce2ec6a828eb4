#pragma once
// What a command tells its operator: plain lines for a person, or with --json one
// document at the end for a pipeline; -q keeps only what went wrong, -v adds detail. On
// a terminal, a long publish keeps one line up to date: bytes read of all, the rate and
// the time left.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "publish/zlib_stream.h"

namespace corvid::publish {

struct output_options {
  bool json = false;
  bool quiet = false;
  bool verbose = false;
};

// "512 bytes", "3.2 MiB": a size as a person reads it.
std::string size_text(std::uint64_t bytes);

class report {
 public:
  report(const char* command, const output_options& options);

  // Whether a person reads plain lines on the standard output.
  bool plain() const { return !options_.json && !options_.quiet; }

  void line(const std::string& text);    // the command's own output
  void detail(const std::string& text);  // with -v only
  void note(const std::string& text);
  void warning(const std::string& text);
  // Something the release or the tree gets wrong: "refused: TEXT" from build.
  void refused(const std::string& text);
  // A problem verify found, where it is and what. --json gives each one, with `code`
  // as a kind that stays as it is ("refused" for build's). When `group` is given, as
  // "LOC: file(s) missing", the text output counts the group's problems in one line at the
  // end, and lists each one only with -v.
  void problem(const std::string& where, const std::string& why, const char* code = "wrong",
               const std::string& group = {});
  // A failure of the run itself.
  void error(const std::string& text);

  std::size_t problem_count() const { return problems_; }
  // The command's figures for --json.
  nlohmann::json& data() { return data_; }

  // Prints the JSON document when asked for one, and gives back `exit_code`.
  int finish(int exit_code);

 private:
  output_options options_;
  nlohmann::json data_;
  std::size_t problems_ = 0;
  std::vector<std::pair<std::string, std::size_t>> groups_;
};

class progress_display {
 public:
  // Shows nothing unless `enabled` and `stream` is a terminal.
  progress_display(std::FILE* stream, bool enabled, const byte_counter& done, std::uint64_t total);
  ~progress_display() { finish(); }
  progress_display(const progress_display&) = delete;
  progress_display& operator=(const progress_display&) = delete;

  bool enabled() const { return enabled_; }
  // Redraws the line, at most four times a second.
  void show();
  // Clears the line, so that what is printed next starts on a clean one.
  void finish();

 private:
  std::FILE* stream_;
  bool enabled_;
  const byte_counter& done_;
  std::uint64_t total_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point drawn_{};
  bool shown_ = false;
  std::size_t drawn_length_ = 0;
};

}  // namespace corvid::publish
