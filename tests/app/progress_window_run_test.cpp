#include <gtest/gtest.h>

#include "app/resources/resource_ids.h"
#include "tests/app/run_fixture.h"

namespace {

using progress_window_run = program_run;

TEST_F(progress_window_run, shows_its_english_texts_without_a_language_file) {
  install();
  folder_.write_update_location("127.0.0.1:1");
  ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
  seen_window window = window_robot::wait_for_progress_window();
  ASSERT_NE(window.handle, nullptr);
  EXPECT_EQ(window_robot::control_text(window.handle, IDCANCEL), "Cancel");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_VERSION_TEXT), "v. 1.32");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_STATUS_LINE_1), "Connecting to update server...");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_STATUS_LINE_2), "Please wait.");

  // Scratch files that appear during the run are gone after the window is closed.
  folder_.write("cpatch.dat", "x");
  folder_.write("command.dat", "y");
  window_robot::close(window.handle);
  DWORD exit_code = 99;
  ASSERT_TRUE(robot_.wait_for_exit(exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_FALSE(folder_.exists("cpatch.dat"));
  EXPECT_FALSE(folder_.exists("command.dat"));
  EXPECT_TRUE(folder_.exists("update.dat"));
}

TEST_F(progress_window_run, takes_its_texts_from_the_language_file_but_not_the_version) {
  install();
  folder_.write_update_location("127.0.0.1:1");
  std::string lines;
  for (int n = 1; n <= 20; ++n) lines += "text " + std::to_string(n) + "\r\n";
  folder_.write("language/patch_strings.dat", lines);
  ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
  seen_window window = window_robot::wait_for_progress_window();
  ASSERT_NE(window.handle, nullptr);
  EXPECT_EQ(window.caption, "text 5");
  EXPECT_EQ(window_robot::control_text(window.handle, IDCANCEL), "text 4");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_VERSION_TEXT), "v. 1.32");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_STATUS_LINE_1), "text 14");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_STATUS_LINE_2), "text 15");
  window_robot::close(window.handle);
  DWORD exit_code = 99;
  ASSERT_TRUE(robot_.wait_for_exit(exit_code));
  EXPECT_EQ(exit_code, 0u);
}

TEST_F(progress_window_run, escape_leaves_the_window_open_and_the_quit_message_ends_the_run_cleanly) {
  install();
  folder_.write_update_location("127.0.0.1:1");
  ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
  seen_window window = window_robot::wait_for_progress_window();
  ASSERT_NE(window.handle, nullptr);
  window_robot::press_key(window.handle, VK_ESCAPE);
  window_robot::press(window.handle, IDCANCEL);
  Sleep(300);
  EXPECT_TRUE(IsWindow(window.handle));

  folder_.write("cpatch.dat", "x");
  window_robot::post_quit(window.process_id);
  DWORD exit_code = 99;
  ASSERT_TRUE(robot_.wait_for_exit(exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_FALSE(folder_.exists("cpatch.dat"));
}

}  // namespace
