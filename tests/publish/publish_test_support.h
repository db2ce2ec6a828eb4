#pragma once
// Real folders in a temporary directory, and runs of the real corvid-publish.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/install_folder.h"

namespace corvid {

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

// A run of corvid-publish in the background, its output captured; killed and waited
// for at the end if it still runs.
class background_publish {
 public:
  explicit background_publish(const std::vector<std::string>& args);
  ~background_publish();
  background_publish(const background_publish&) = delete;
  background_publish& operator=(const background_publish&) = delete;

  int pid() const { return pid_; }
  void signal(int number);
  // The status as waitpid gives it.
  int wait();
  std::string err() const;

 private:
  install_folder capture_{"publish_capture"};
  int pid_ = -1;
  bool waited_ = false;
  int status_ = 0;
};

// Waits up to twenty seconds for `path` to appear.
bool wait_for(const std::filesystem::path& path);

// Every file below `root` with its bytes, by relative path, to compare trees whole.
std::vector<std::pair<std::string, std::string>> snapshot(const std::filesystem::path& root);

}  // namespace corvid
