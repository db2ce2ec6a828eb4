#pragma once
// One line on a terminal that a long publish keeps up to date: bytes read of all,
// the rate and the time left. Nothing at all when no one watches.

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "publish/zlib_stream.h"

namespace corvid::publish {

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
