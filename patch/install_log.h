#pragma once

namespace corvid {
// The game's "install.log" in the installation folder: the client adds the lines of
// the files and folders it installs, each line once, and never creates the log.

// Adds `line` (ending in a line feed) unless the log holds it already, compared
// without regard to letter case. Without a log nothing is written.
void add_install_log_line(const char* line);

// While one of these lives, the log's lines are read once and remembered, instead of
// the whole log being read again for every line added. What is remembered is dropped
// whenever the log is no longer the file, at the size and write time, it was left at.
class install_log_batch {
 public:
  install_log_batch();
  ~install_log_batch();
  install_log_batch(const install_log_batch&) = delete;
  install_log_batch& operator=(const install_log_batch&) = delete;
};

void slashes_to_backslashes(char* text);

inline constexpr const char* install_log_file = "install.log";

}  // namespace corvid
