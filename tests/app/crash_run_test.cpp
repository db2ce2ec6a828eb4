#include <gtest/gtest.h>

#include "tests/app/run_fixture.h"

namespace {

class crash_run : public program_run {
 protected:
  // The running program, waiting at its progress window for a server that never answers.
  HWND start_and_wait_for_the_window() {
    install();
    folder_.write_update_location("127.0.0.1:1");
    if (!robot_.start(folder_path(), "patch.bin", "")) return nullptr;
    return window_robot::wait_for_progress_window().handle;
  }

  // Ends with the exit code of the fault; the report beside the executable.
  std::string report_after_exit(DWORD& exit_code) {
    EXPECT_TRUE(robot_.wait_for_exit(exit_code, 60s));
    std::string report = folder_.read("patch_exc.log");
    EXPECT_EQ(report.rfind("\r\n\r\n\r\n\r\n", 0), 0u) << report.substr(0, 200);
    return report;
  }
};

// A thread that the program did not start ends it just the same: it is reported, under
// a label of its own.
TEST_F(crash_run, a_fault_of_a_thread_started_from_outside_is_reported_as_another_thread) {
  // A second thread is what the emulated 32-bit client cannot hold (client_is_emulated).
  if (client_is_emulated()) GTEST_SKIP() << "a second thread in a 32-bit program under qemu-user";
  HWND window = start_and_wait_for_the_window();
  ASSERT_NE(window, nullptr);
  kernel_handle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, robot_.process_id()));
  ASSERT_TRUE(process.valid());
  DWORD thread_id = 0;
  kernel_handle thread(CreateRemoteThread(process.get(), nullptr, 0, nullptr, nullptr, 0, &thread_id));
  ASSERT_TRUE(thread.valid());

  DWORD exit_code = 0;
  std::string report = report_after_exit(exit_code);
  EXPECT_EQ(exit_code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_NE(report.find("Exception handler called in another thread (id " + std::to_string(thread_id) + ").\r\n"),
            std::string::npos)
      << report.substr(0, 400);
}

}  // namespace
