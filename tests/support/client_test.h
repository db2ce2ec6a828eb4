#pragma once
// The fixture of the client's in-process tests: each test starts from the state a
// fresh process has, in a temporary folder of its own that is the working directory,
// and leaves the state released and the working directory as it found them.

#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "tests/support/install_folder.h"

namespace corvid {

class client_test : public ::testing::Test {
 protected:
  client_test();
  ~client_test() override;

  install_folder folder_{"client"};

 private:
  std::filesystem::path previous_directory_;
};

// A message-only window of the test's thread: each action posted to it runs when a
// pump of the client dispatches its message, in the order posted.
class pumped_actions {
 public:
  pumped_actions();
  ~pumped_actions();
  pumped_actions(const pumped_actions&) = delete;
  pumped_actions& operator=(const pumped_actions&) = delete;

  void post(std::function<void()> action);
  // How many of the posted actions have run.
  int ran() const { return ran_; }
  // Forgets the actions that have not run, and their messages.
  void drop_waiting();

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  HWND window_ = nullptr;
  std::deque<std::function<void()>> waiting_;
  int ran_ = 0;
};

}  // namespace corvid
