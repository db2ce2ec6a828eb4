#pragma once
// What the network tests share: a scratch folder that is the working directory for
// one test, file helpers, and a helper thread that reads and closes message boxes.

#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A fresh folder under the temporary directory, made the working directory until the
// object goes; then the previous directory comes back and the folder is removed.
class scratch_folder {
 public:
  scratch_folder();
  ~scratch_folder();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

bool file_exists(const std::string& path);
std::string file_contents(const std::string& path);
void write_file(const std::string& path, const std::string& contents);

// Writes a language file in which message n reads as given (others are empty) and
// loads it into the string table of the update state.
void load_language(std::initializer_list<std::pair<int, const char*>> messages);

struct seen_box {
  std::string caption;
  std::string text;
};

// From its start until stop(), closes every message box of this process with OK and
// records what it said. Gives up by itself after a bounded time.
class box_closer {
 public:
  box_closer();
  ~box_closer();
  std::vector<seen_box> stop();

 private:
  void run();
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<seen_box> seen_;
  std::thread thread_;
};
