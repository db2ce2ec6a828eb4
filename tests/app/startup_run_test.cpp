#include <gtest/gtest.h>

#include "core/scratch_files.h"
#include "tests/app/run_fixture.h"

namespace {

class startup_run : public program_run {
 protected:
  // Runs the program to its end without a window; its exit code.
  DWORD exit_code_of_run(const std::string& name = "patch.bin") {
    EXPECT_TRUE(robot_.start(folder_path(), name, ""));
    DWORD exit_code = 99;
    EXPECT_TRUE(robot_.wait_for_exit(exit_code));
    return exit_code;
  }

  // Closes the window of a run that got as far as its window; its exit code.
  DWORD close_window_of_run() {
    seen_window window = window_robot::wait_for_progress_window();
    EXPECT_NE(window.handle, nullptr);
    if (window.handle == nullptr) return 99;
    window_robot::close(window.handle);
    DWORD exit_code = 99;
    EXPECT_TRUE(window_robot::wait_for_process_exit(window.process_id, exit_code));
    return exit_code;
  }

  // A fake program, running under `name`, that the start-up check must notice.
  void start_blocking_program(const std::string& name) {
    folder_.install_program(CORVID_FAKE_PROGRAM, name);
    ASSERT_TRUE(blocker_.start(folder_path(), name, "--stay"));
    Sleep(300);
  }

  void expect_refusal(const std::string& text) {
    install();
    folder_.write_update_location("127.0.0.1:1");
    ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
    seen_window box = robot_.wait_for_message_box();
    ASSERT_NE(box.handle, nullptr);
    EXPECT_EQ(box.caption, "Cannot Complete Update");
    EXPECT_EQ(box.text, text);
    window_robot::press(box.handle, IDOK);
    DWORD exit_code = 99;
    ASSERT_TRUE(robot_.wait_for_exit(exit_code));
    EXPECT_EQ(static_cast<int>(exit_code), -1);
  }

  window_robot blocker_;
};

TEST_F(startup_run, a_missing_or_malformed_update_location_file_ends_the_run_with_its_code) {
  install();
  EXPECT_EQ(static_cast<int>(exit_code_of_run()), -1);

  folder_.write("update.dat", "Corvid Patch \nhost\n");
  EXPECT_EQ(static_cast<int>(exit_code_of_run()), -2);

  folder_.write("update.dat", "Corvid Patch\n\nfallback\n");
  EXPECT_EQ(static_cast<int>(exit_code_of_run()), -3);
}

TEST_F(startup_run, a_crlf_update_location_file_with_two_lines_opens_the_window) {
  install();
  folder_.write("update.dat", "Corvid Patch\r\nhost\r\n");
  ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
  EXPECT_EQ(close_window_of_run(), 0u);
}

TEST_F(startup_run, scratch_files_left_by_an_earlier_run_are_removed_at_start) {
  install();
  folder_.write_update_location("host");
  for (const char* name : {server_scratch_file, command_script_file, fetch_scratch_file}) folder_.write(name, "old");
  ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
  seen_window window = window_robot::wait_for_progress_window();
  ASSERT_NE(window.handle, nullptr);
  for (const char* name : {server_scratch_file, command_script_file, fetch_scratch_file}) {
    EXPECT_FALSE(folder_.exists(name)) << name;
  }
  window_robot::close(window.handle);
}

TEST_F(startup_run, a_running_login_program_blocks_the_run) {
  start_blocking_program("login.dll");
  expect_refusal(
      "The Login client is already running.\nIf you're not running the Login client,\n"
      "you may need to reboot your computer.");
}

TEST_F(startup_run, a_running_login_program_named_in_capitals_blocks_the_run) {
  start_blocking_program("LOGIN.DLL");
  expect_refusal(
      "The Login client is already running.\nIf you're not running the Login client,\n"
      "you may need to reboot your computer.");
}

TEST_F(startup_run, a_running_game_blocks_the_run) {
  start_blocking_program("Game.Dll");
  expect_refusal(
      "Talomar is already running.\nIf you're not running Talomar,\n"
      "you may need to reboot your computer.");
}

TEST_F(startup_run, the_refusal_is_worded_by_the_language_file) {
  std::string lines;
  for (int n = 1; n <= 20; ++n) lines += n == 18 ? "login busy\\nreboot\n" : "line " + std::to_string(n) + "\n";
  folder_.write("language/patch_strings.dat", lines);
  start_blocking_program("login.dll");
  install();
  folder_.write_update_location("host");
  ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
  seen_window box = robot_.wait_for_message_box();
  ASSERT_NE(box.handle, nullptr);
  EXPECT_EQ(box.caption, "line 19");
  EXPECT_EQ(box.text, "login busy\nreboot");
  window_robot::press(box.handle, IDOK);
}

TEST_F(startup_run, under_the_starter_name_it_hands_over_to_its_copy_with_the_same_arguments) {
  install("TALOMAR.EXE");
  folder_.write_update_location("host");
  const std::string arguments = "-user player  \"two words\" /x";
  ASSERT_TRUE(robot_.start(folder_path(), "TALOMAR.EXE", arguments));
  DWORD exit_code = 99;
  ASSERT_TRUE(robot_.wait_for_exit(exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_EQ(folder_.read("patch.bin"), folder_.read("TALOMAR.EXE"));

  seen_window window = window_robot::wait_for_progress_window();
  ASSERT_NE(window.handle, nullptr);
  std::string command_line = window_robot::command_line_of(window.process_id);
  EXPECT_NE(command_line.find("patch.bin"), std::string::npos) << command_line;
  EXPECT_EQ(command_line.substr(command_line.size() - arguments.size()), arguments) << command_line;
  window_robot::close(window.handle);
  DWORD copy_exit = 99;
  ASSERT_TRUE(window_robot::wait_for_process_exit(window.process_id, copy_exit));
  EXPECT_EQ(copy_exit, 0u);
}

TEST_F(startup_run, an_older_copy_is_started_when_the_new_copy_cannot_be_made) {
  install("talomar.exe");
  folder_.write_update_location("host");
  // An older copy that another process holds open against writing cannot be
  // overwritten (a read-only attribute would not do: the tests run as root), but it
  // can still be started.
  folder_.install_program(CORVID_FAKE_PROGRAM, "patch.bin");
  kernel_handle held(CreateFileA((folder_ / "patch.bin").string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.valid());
  ASSERT_TRUE(robot_.start(folder_path(), "talomar.exe", "abc def"));
  DWORD exit_code = 99;
  ASSERT_TRUE(robot_.wait_for_exit(exit_code));
  EXPECT_EQ(exit_code, 0u);
  for (int i = 0; i < 100 && !folder_.exists("patch.bin.cmdline"); ++i) Sleep(50);
  std::string recorded = folder_.read("patch.bin.cmdline");
  EXPECT_EQ(recorded.substr(recorded.size() < 7 ? 0 : recorded.size() - 7), "abc def") << recorded;
}

}  // namespace
