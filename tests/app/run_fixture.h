#pragma once
// A fresh install folder with the real program in it, and a robot to drive it.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/install_folder.h"
#include "tests/support/window_robot.h"

class program_run : public ::testing::Test {
 protected:
  // Installed under the overlay copy's name, the program runs without handing over.
  void install(const std::string& name = "patch.bin") { folder_.install_program(client_program(), name); }

  std::string folder_path() const { return folder_.path().string(); }

  // A run that went further than a test expected must not outlive it.
  void TearDown() override { end_every_other_windowed_process(); }

  install_folder folder_{"run"};
  window_robot robot_;
};
