#include <gtest/gtest.h>

#include "app/resources/resource_ids.h"
#include "tests/app/run_fixture.h"
#include "tests/support/http_server.h"

namespace corvid {

namespace {

class progress_window_run : public program_run {
 protected:
  // Starts the program pointed at `location`, as far as its progress window, filled in.
  seen_window start_to_window(const std::string& location = "127.0.0.1:1") {
    install();
    folder_.write_update_location(location);
    EXPECT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
    seen_window window = window_robot::wait_for_progress_window();
    EXPECT_NE(window.handle, nullptr);
    // The window shows with its template's texts; status line 2 is the last one the
    // program sets in their place.
    for (int i = 0;
         i < 100 && window.handle != nullptr && window_robot::control_text(window.handle, IDC_STATUS_LINE_2) == "Info2";
         ++i) {
      Sleep(50);
    }
    return window;
  }
};

TEST_F(progress_window_run, shows_its_english_texts_without_a_language_file) {
  seen_window window = start_to_window();
  ASSERT_NE(window.handle, nullptr);
  EXPECT_EQ(window_robot::control_text(window.handle, IDCANCEL), "Cancel");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_VERSION_TEXT), "v. 1.32");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_STATUS_LINE_1), "Connecting to update server...");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_STATUS_LINE_2), "Please wait.");
  EXPECT_EQ(window_robot::caption_of(window.handle), "Corvid Update");

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
  std::string lines;
  for (int n = 1; n <= 20; ++n) lines += "text " + std::to_string(n) + "\r\n";
  folder_.write("language/patch_strings.dat", lines);
  seen_window window = start_to_window();
  ASSERT_NE(window.handle, nullptr);
  EXPECT_EQ(window_robot::caption_of(window.handle), "text 5");
  EXPECT_EQ(window_robot::control_text(window.handle, IDCANCEL), "text 4");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_VERSION_TEXT), "v. 1.32");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_STATUS_LINE_1), "text 14");
  EXPECT_EQ(window_robot::control_text(window.handle, IDC_STATUS_LINE_2), "text 15");
  window_robot::close(window.handle);
  DWORD exit_code = 99;
  ASSERT_TRUE(robot_.wait_for_exit(exit_code));
  EXPECT_EQ(exit_code, 0u);
}

// Escape reaches the window's dialog manager while a download pumps messages, and
// acts as Cancel does: the window stays, and the run ends without the message that the
// server's wrong answer would otherwise bring.
TEST_F(progress_window_run, escape_during_a_download_cancels_and_the_run_ends_silently) {
  test_http_server server;
  server.serve_fault("/info.txt", http_fault::stalled_body, std::string(5000, 'x'), 2048);
  seen_window window = start_to_window(server.location() + "/info.txt");
  seen_window prompt = wait_for_prompt();
  ASSERT_NE(prompt.handle, nullptr);
  window_robot::press(prompt.handle, IDOK);
  for (int i = 0; i < 200 && server.request_count() == 0; ++i) Sleep(50);
  ASSERT_EQ(server.request_count(), 1u);
  window_robot::press_key(window.handle, VK_ESCAPE);
  Sleep(300);
  server.release_stalled();

  std::vector<seen_window> boxes;
  EXPECT_EQ(wait_for_end(boxes), 0u);
  EXPECT_TRUE(boxes.empty()) << boxes.front().caption << ": " << boxes.front().text;
}

// The prompt has no owner, so the progress window stays usable beside it: Cancel there
// keeps the window, and OK then leads into a connect step that ends without a message,
// where the unreachable server would otherwise be reported.
TEST_F(progress_window_run, cancel_while_the_prompt_is_open_then_ok_ends_the_run_silently) {
  seen_window window = start_to_window("127.0.0.1:" + std::to_string(test_http_server::closed_port()));
  seen_window prompt = wait_for_prompt();
  ASSERT_NE(prompt.handle, nullptr);
  window_robot::press(window.handle, IDCANCEL);
  Sleep(300);
  EXPECT_TRUE(IsWindow(window.handle));
  EXPECT_TRUE(IsWindow(prompt.handle));
  window_robot::press(prompt.handle, IDOK);

  std::vector<seen_window> boxes;
  EXPECT_EQ(wait_for_end(boxes), 0u);
  EXPECT_TRUE(boxes.empty()) << boxes.front().caption << ": " << boxes.front().text;
}

TEST_F(progress_window_run, the_quit_message_ends_the_run_cleanly) {
  seen_window window = start_to_window();
  ASSERT_NE(window.handle, nullptr);

  folder_.write("cpatch.dat", "x");
  window_robot::post_quit(window.process_id);
  DWORD exit_code = 99;
  ASSERT_TRUE(robot_.wait_for_exit(exit_code));
  EXPECT_EQ(exit_code, 0u);
  EXPECT_FALSE(folder_.exists("cpatch.dat"));
}

}  // namespace

}  // namespace corvid
