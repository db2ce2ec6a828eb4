#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "core/scratch_files.h"
#include "tests/app/run_fixture.h"
#include "tests/support/emulation.h"
#include "tests/support/http_server.h"
#include "tests/support/one_thread.h"

namespace corvid {

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
    EXPECT_TRUE(box.shows_icon);
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

// The locations are tried in order, each without its carriage return and in lower case.
TEST_F(startup_run, a_crlf_update_location_file_gives_the_locations_the_run_asks) {
  test_http_server server;
  server.serve_not_found_page("/second.txt");
  std::string nowhere = "127.0.0.1:" + std::to_string(test_http_server::closed_port());
  install();
  folder_.write("update.dat", "Corvid Patch\r\n" + nowhere + "/info.txt\r\n" + nowhere + "/First.txt\r\n" +
                                  server.location() + "/Second.TXT\r\nignored.example\r\n");
  ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
  seen_window prompt = wait_for_prompt();
  ASSERT_NE(prompt.handle, nullptr);
  window_robot::press(prompt.handle, IDOK);
  std::vector<seen_window> boxes;
  EXPECT_EQ(wait_for_end(boxes), 0u);
  std::vector<std::string> asked;
  for (const http_request_record& request : server.requests()) asked.push_back(request.target);
  EXPECT_EQ(asked, std::vector<std::string>{"/second.txt"});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Error Message (104)") << "the answer came from the second fallback";
}

TEST_F(startup_run, scratch_files_left_by_an_earlier_run_are_removed_at_start) {
  install();
  folder_.write_update_location("host");
  std::vector<std::string> left{server_scratch_file, command_script_file};
  for (int index = 0; index < scratch_copy_name_count; ++index) left.push_back(scratch_copy_name_at(index).c_str());
  for (const std::string& name : left) folder_.write(name, "old");
  ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
  seen_window window = window_robot::wait_for_progress_window();
  ASSERT_NE(window.handle, nullptr);
  for (const std::string& name : left) EXPECT_FALSE(folder_.exists(name)) << name;
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

TEST_F(startup_run, under_the_starter_name_in_any_case_it_hands_over_to_its_copy_with_the_same_arguments) {
  folder_.write_update_location("host");
  const std::string arguments = "-user player  \"two words\" /x";
  for (const auto& [starter, passed] : {std::pair<std::string, std::string>{"TALOMAR.EXE", arguments},
                                        std::pair<std::string, std::string>{"tAlOmAr.ExE", ""}}) {
    CORVID_TRACE(starter);
    std::filesystem::remove(folder_ / "patch.bin");
    install(starter);
    ASSERT_TRUE(robot_.start(folder_path(), starter, passed));
    DWORD exit_code = 99;
    ASSERT_TRUE(robot_.wait_for_exit(exit_code));
    EXPECT_EQ(exit_code, 0u);
    EXPECT_EQ(folder_.read("patch.bin"), folder_.read(starter));

    seen_window window = window_robot::wait_for_progress_window();
    ASSERT_NE(window.handle, nullptr);
    if (other_processes_readable) {
      std::string command_line = window_robot::command_line_of(window.process_id);
      std::size_t name_end = command_line.find("patch.bin");
      ASSERT_NE(name_end, std::string::npos) << command_line;
      name_end += std::string("patch.bin").size();
      if (passed.empty()) {
        EXPECT_EQ(command_line.find_first_not_of(" \"", name_end), std::string::npos)
            << "no argument text: " << command_line;
      } else {
        EXPECT_EQ(command_line.substr(command_line.size() - passed.size()), passed) << command_line;
      }
    }
    window_robot::close(window.handle);
    DWORD copy_exit = 99;
    ASSERT_TRUE(window_robot::wait_for_process_exit(window.process_id, copy_exit));
    EXPECT_EQ(copy_exit, 0u);
    std::filesystem::remove(folder_ / starter);
  }
}

TEST_F(startup_run, when_the_copy_cannot_be_made_an_older_copy_is_started_or_else_the_program_runs_on) {
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
  for (int i = 0; i < 200 && !folder_.exists("patch.bin.cmdline"); ++i) Sleep(50);
  std::string recorded = folder_.read("patch.bin.cmdline");
  EXPECT_EQ(recorded.substr(recorded.size() < 7 ? 0 : recorded.size() - 7), "abc def") << recorded;

  // Without any copy, the start fails and the program goes on under its own name.
  held.reset();
  ASSERT_TRUE(folder_.remove_program("patch.bin")) << "the older copy has ended";
  std::filesystem::create_directory(folder_ / "patch.bin");
  ASSERT_TRUE(robot_.start(folder_path(), "talomar.exe", ""));
  seen_window prompt = wait_for_prompt();
  ASSERT_NE(prompt.handle, nullptr) << "talomar.exe itself comes to the prompt";
  window_robot::press(prompt.handle, IDCANCEL);
  ASSERT_TRUE(robot_.wait_for_exit(exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_TRUE(std::filesystem::is_directory(folder_ / "patch.bin"));
}

}  // namespace

}  // namespace corvid
