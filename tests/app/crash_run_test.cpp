#include <gtest/gtest.h>

#include "tests/app/run_fixture.h"

namespace {

using crash_run = program_run;

// A fault anywhere in the program: a thread started in it at address 0 faults at once,
// and the program's own guard writes the report beside the executable.
TEST_F(crash_run, a_fault_in_the_running_program_is_reported_beside_its_executable) {
  install();
  folder_.write_update_location("127.0.0.1:1");
  ASSERT_TRUE(robot_.start(folder_path(), "patch.bin", ""));
  seen_window window = window_robot::wait_for_progress_window();
  ASSERT_NE(window.handle, nullptr);

  kernel_handle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, robot_.process_id()));
  ASSERT_TRUE(process.valid());
  kernel_handle thread(CreateRemoteThread(process.get(), nullptr, 0, nullptr, nullptr, 0, nullptr));
  ASSERT_TRUE(thread.valid());

  DWORD exit_code = 0;
  ASSERT_TRUE(robot_.wait_for_exit(exit_code));
  EXPECT_EQ(exit_code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  std::string report = folder_.read("patch_exc.log");
  EXPECT_EQ(report.rfind("\r\n\r\n\r\n\r\n", 0), 0u) << report.substr(0, 200);
  EXPECT_NE(report.find("main thread"), std::string::npos) << report.substr(0, 400);
}

}  // namespace
