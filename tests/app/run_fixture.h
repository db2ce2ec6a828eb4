#pragma once
// A fresh install folder with the real program in it, and a robot to drive it.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/support/install_folder.h"
#include "tests/support/window_robot.h"

namespace corvid {

class program_run : public ::testing::Test {
 protected:
  // Installed under the overlay copy's name, the program runs without handing over.
  void install(const std::string& name = "patch.bin") { folder_.install_program(client_program(), name); }

  std::string folder_path() const { return folder_.path().string(); }

  // The start-up prompt of the started program.
  seen_window wait_for_prompt() {
    DWORD process_id = robot_.process_id();
    return window_robot::wait_for_window([process_id](const seen_window& w) {
      return w.process_id == process_id && window_robot::is_start_up_prompt(w.handle);
    });
  }

  // Waits for the started program to end, pressing OK on every message box it shows;
  // its exit code (99 when it did not end), and the boxes in `boxes`.
  DWORD wait_for_end(std::vector<seen_window>& boxes) {
    std::set<HWND> answered;
    DWORD exit_code = 99;
    for (int poll = 0; poll < 600 && !robot_.has_exited(exit_code); ++poll) {
      for (const seen_window& window : visible_windows()) {
        if (window.process_id != robot_.process_id() || !window.is_message_box) continue;
        if (!answered.insert(window.handle).second) continue;
        boxes.push_back(window);
        window_robot::press(window.handle, IDOK);
      }
      Sleep(50);
    }
    return exit_code;
  }

  // A run that went further than a test expected must not outlive it.
  void TearDown() override { end_every_other_windowed_process(); }

  install_folder folder_{"run"};
  window_robot robot_;
};

}  // namespace corvid
