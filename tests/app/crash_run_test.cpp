#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "app/resources/resource_ids.h"
#include "tests/app/run_fixture.h"
#include "tests/support/emulation.h"

namespace corvid {

namespace {

// Where the program's own code for `symbol` lies once loaded: its address relative to
// the image, from the symbol table the linker leaves in the test build; 0 when absent.
std::uint32_t relative_address_of(const std::string& program, const std::string& symbol) {
  std::string image = read_file(program);
  auto at = [&](std::size_t offset, std::size_t size) -> std::uint32_t {
    std::uint32_t value = 0;
    if (offset + size <= image.size()) std::memcpy(&value, image.data() + offset, size);
    return value;
  };
  std::size_t header = at(0x3c, 4) + 4;  // past "PE\0\0"
  std::size_t sections = header + 20 + at(header + 16, 2);
  std::size_t symbols = at(header + 8, 4);
  std::size_t count = at(header + 12, 4);
  std::size_t strings = symbols + count * 18;
  for (std::size_t i = 0; i < count; i += 1 + at(symbols + i * 18 + 17, 1)) {
    std::size_t entry = symbols + i * 18;
    std::string name = at(entry, 4) == 0 ? std::string(image.c_str() + strings + at(entry + 4, 4))
                                         : std::string(image.data() + entry, strnlen(image.data() + entry, 8));
    std::uint32_t section = at(entry + 12, 2);
    if (name != symbol || section == 0 || section > 0xfff0) continue;
    return at(sections + (section - 1) * 40 + 12, 4) + at(entry + 8, 4);
  }
  return 0;
}

std::uintptr_t image_base_of(DWORD process_id) {
  kernel_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process_id));
  MODULEENTRY32 module{};
  module.dwSize = sizeof module;
  if (!snapshot || !Module32First(snapshot.get(), &module)) return 0;
  return reinterpret_cast<std::uintptr_t>(module.modBaseAddr);
}

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
TEST_F(crash_run, CORVID_NOT_EMULATED(a_fault_of_a_thread_started_from_outside_is_reported_as_another_thread)) {
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

// The program's own thread, faulting inside a window procedure: the progress bar, asked
// for its range, writes it where it is told.
TEST_F(crash_run, a_fault_of_the_main_thread_in_a_window_procedure_is_reported_as_the_main_thread) {
  HWND window = start_and_wait_for_the_window();
  ASSERT_NE(window, nullptr);
  HWND bar = GetDlgItem(window, IDC_FILE_BAR);
  ASSERT_NE(bar, nullptr);
  ASSERT_TRUE(PostMessageA(bar, PBM_GETRANGE, FALSE, 0x10));

  DWORD exit_code = 0;
  std::string report = report_after_exit(exit_code);
  EXPECT_NE(report.find("Exception handler called in main thread.\r\n"), std::string::npos) << report.substr(0, 400);
  if (!faults_keep_their_code) return;
  EXPECT_EQ(exit_code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_NE(report.find("Write to location 0000000000000010 caused an access violation.\r\n"), std::string::npos)
      << report.substr(0, 400);
}

// A C++ exception that nothing catches, thrown by the running client's own runtime: the
// allocation failure a string or a list would throw.
TEST_F(crash_run, CORVID_NOT_EMULATED(an_uncaught_cpp_exception_of_the_running_client_is_reported_as_one)) {
  // i686 symbols carry the C prefix "_".
  std::uint32_t thrower =
      relative_address_of(client_program(), std::string(sizeof(void*) == 4 ? "_" : "") + "_ZSt17__throw_bad_allocv");
  ASSERT_NE(thrower, 0u) << "the test build keeps its symbols";
  HWND window = start_and_wait_for_the_window();
  ASSERT_NE(window, nullptr);
  std::uintptr_t base = image_base_of(robot_.process_id());
  ASSERT_NE(base, 0u);
  kernel_handle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, robot_.process_id()));
  ASSERT_TRUE(process.valid());
  kernel_handle thread(CreateRemoteThread(
      process.get(), nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(base + thrower), nullptr, 0, nullptr));
  ASSERT_TRUE(thread.valid());

  DWORD exit_code = 0;
  std::string report = report_after_exit(exit_code);
  EXPECT_EQ(exit_code, 0xE06D7363u);
  EXPECT_NE(report.find("patch caused a Microsoft C++ Exception in module "), std::string::npos)
      << report.substr(0, 400);
}

}  // namespace

}  // namespace corvid
