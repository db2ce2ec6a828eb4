#pragma once
// What the network tests share: a language file of the test's own, and a helper thread
// that reads and closes message boxes.

#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace corvid {

// Writes a language file in which message n reads as given (others are empty) and
// loads it into the string table of the update state.
void load_language(std::initializer_list<std::pair<int, const char*>> messages);

struct seen_box {
  std::string caption;
  std::string text;
  bool warning_icon = false;  // the system's warning icon, as MB_ICONWARNING shows it
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

}  // namespace corvid
