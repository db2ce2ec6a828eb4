#pragma once
// The fixture of the client's in-process tests: each test starts from the state a
// fresh process has, in a temporary folder of its own that is the working directory,
// and leaves the state released and the working directory as it found them.

#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <set>

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

// Calls `act` once with each dialog of this thread (message boxes too) once it shows,
// from a timer of this thread: the modal loop that shows the dialog dispatches the
// timer, so that playing the player takes no second thread (tests/support/emulation.h).
class dialog_watch {
 public:
  explicit dialog_watch(std::function<void(HWND)> act);
  ~dialog_watch();
  dialog_watch(const dialog_watch&) = delete;
  dialog_watch& operator=(const dialog_watch&) = delete;

 private:
  static void CALLBACK tick(HWND, UINT, UINT_PTR timer, DWORD);
  UINT_PTR timer_ = 0;
  std::function<void(HWND)> act_;
  std::set<HWND> seen_;
};

}  // namespace corvid
