// Real faults of a real program that carries the crash guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "crash/report_text.h"
#include "crash_test_files.h"
#include "tests/support/emulation.h"

namespace corvid {

namespace {

constexpr DWORD access_violation = 0xC0000005;
constexpr DWORD illegal_instruction = 0xC000001D;
constexpr DWORD cpp_exception = 0xE06D7363;
#ifdef _WIN64
const std::string instruction_register = "RIP=";
const std::string stack_register = "RSP=";
#else
const std::string instruction_register = "EIP=";
const std::string stack_register = "ESP=";
#endif
constexpr DWORD run_timeout_ms = 20000;

// The fault program copied into an install folder of its own, started from another
// working directory.
class fault_program : public ::testing::Test {
 protected:
  void SetUp() override {
    exe = (install / "crash_fault_program.exe").string();
    ASSERT_TRUE(CopyFileA((test_program_folder() + "\\crash_fault_program.exe").c_str(), exe.c_str(), FALSE));
    log = (install / "patch_exc.log").string();
  }

  DWORD run(const std::string& arguments = "") {
    DWORD exit_code = run_program(exe, arguments, elsewhere.path().string(), run_timeout_ms);
    EXPECT_NE(exit_code, static_cast<DWORD>(-1)) << "not started, error " << GetLastError();
    EXPECT_NE(exit_code, STILL_ACTIVE) << "did not end in time";
    return exit_code;
  }

  // The report's count of "Exception handler called" lines.
  static int report_count(const std::string& text) {
    int count = 0;
    for (size_t at = text.find("Exception handler called in"); at != std::string::npos;
         at = text.find("Exception handler called in", at + 1))
      ++count;
    return count;
  }

  install_folder install{"crash"};
  install_folder elsewhere{"crash_elsewhere"};
  std::string exe;
  std::string log;
};

// The report against the fault as the program saw it: where the instruction is, what
// its bytes are, what its stack holds, and which modules it has.
TEST_F(fault_program, report_matches_the_real_fault) {
  EXPECT_EQ(run(), illegal_instruction);
  EXPECT_FALSE(elsewhere.exists("patch_exc.log"));
  std::string report = read_file(log);
  uintptr_t instruction = 0;
  uintptr_t plain_memory = 0;
  ASSERT_EQ(std::sscanf(install.read("fault.txt").c_str(), "%zx %zx", &instruction, &plain_memory), 2);
  const std::string address = format_address(instruction).digits;

  const std::string opening =
      "\r\n\r\n\r\n\r\ncrash_fault_program caused an Illegal Instruction in module "
      "crash_fault_program.exe at ";
  EXPECT_EQ(report.substr(0, opening.size()), opening);
  EXPECT_NE(report.find(":" + address +
                        ".\r\nException handler called in main thread.\r\n"
                        "Error occurred at "),
            std::string::npos)
      << report.substr(0, 300);
  EXPECT_EQ(report.find("caused an access violation"), std::string::npos);
  EXPECT_EQ(report_count(report), 1);

  std::string registers = between(report, "\r\n\r\nRegisters:\r\n", "Bytes at CS:EIP:\r\n");
  EXPECT_NE(registers.find(instruction_register + address + " EFLGS="), std::string::npos) << registers;
  size_t stack_at = registers.find(stack_register);
  ASSERT_NE(stack_at, std::string::npos) << registers;
  std::string stack_pointer = registers.substr(stack_at + 4, address_digits);
  // ud2 is 0f 0b.
  EXPECT_EQ(between(report, "Bytes at CS:EIP:\r\n", "\r\nStack dump:").substr(0, 6), "0f 0b ");
  std::string dump = between(report, "\r\nStack dump:\r\n", "\r\n\r\n\tModule list");
  EXPECT_EQ(dump.substr(0, address_digits + 2), stack_pointer + ": ");
  EXPECT_NE(dump.find("600dcafe"), std::string::npos) << "the marker on the program's stack";
  EXPECT_EQ(dump.find("Exception encountered"), std::string::npos);

  // One line per image, bases rising; the program's own with its file's size and
  // date, the system's kernel32 with a size, and no line for plain committed memory.
  std::string modules = report.substr(report.find("\tModule list"));
  HANDLE exe_file = CreateFileA(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exe_file, INVALID_HANDLE_VALUE);
  DWORD exe_size = GetFileSize(exe_file, nullptr);
  CloseHandle(exe_file);
  std::string exe_line = line_starting_with(modules, exe + ", loaded at 0x");
  EXPECT_NE(exe_line.find(" - " + std::to_string(exe_size) + " bytes - "), std::string::npos) << exe_line;
  int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
  size_t date = exe_line.find(" - file date is ");
  ASSERT_NE(date, std::string::npos) << exe_line;
  EXPECT_EQ(std::sscanf(exe_line.c_str() + date, " - file date is %d/%d/%d %d:%d:%d", &month, &day, &year, &hour,
                        &minute, &second),
            6)
      << exe_line;
  EXPECT_EQ(second % 2, 0) << exe_line;
  size_t kernel32 = modules.find("\\kernel32.dll, loaded at 0x");
  ASSERT_NE(kernel32, std::string::npos) << modules;
  std::string kernel32_line = modules.substr(kernel32, modules.find("\r\n", kernel32) - kernel32);
  EXPECT_EQ(kernel32_line.find(" - 0 bytes - "), std::string::npos) << kernel32_line;

  std::vector<uintptr_t> bases;
  for (size_t at = modules.find(", loaded at 0x"); at != std::string::npos; at = modules.find(", loaded at 0x", at + 1))
    bases.push_back(static_cast<uintptr_t>(std::stoull(modules.substr(at + 14, address_digits), nullptr, 16)));
  ASSERT_GE(bases.size(), 3u);
  for (size_t i = 1; i < bases.size(); ++i) EXPECT_LT(bases[i - 1], bases[i]);
  EXPECT_EQ(std::count(bases.begin(), bases.end(), plain_memory), 0);
}

TEST_F(fault_program, null_write_names_the_address_written) {
  DWORD exit_code = run("null-write");
  std::string report = read_file(log);
  EXPECT_EQ(report_count(report), 1);
  if (!faults_keep_their_code) return;
  EXPECT_EQ(exit_code, access_violation);
  EXPECT_NE(report.find("crash_fault_program caused an Access Violation in module "
                        "crash_fault_program.exe at "),
            std::string::npos);
  EXPECT_EQ(line_starting_with(report, "Write to"),
            "Write to location " + std::string(address_digits, '0') + " caused an access violation.");
}

// GCC's runtime ends such a program in std::terminate, silently unless the guard sees it.
TEST_F(fault_program, uncaught_cpp_exception_is_reported_as_one) {
  EXPECT_EQ(run("throw"), cpp_exception);
  std::string report = read_file(log);
  EXPECT_EQ(report.rfind("\r\n\r\n\r\n\r\ncrash_fault_program caused a Microsoft C++ Exception in "
                         "module ",
                         0),
            0u)
      << report.substr(0, 200);
  EXPECT_NE(report.find("Exception handler called in main thread.\r\n"), std::string::npos);
  EXPECT_EQ(report_count(report), 1);
}

TEST_F(fault_program, report_is_appended_after_four_empty_lines) {
  write_file(log, "an earlier report\r\n");
  EXPECT_EQ(run(), illegal_instruction);
  std::string report = read_file(log);
  const std::string start = "an earlier report\r\n\r\n\r\n\r\n\r\ncrash_fault_program caused ";
  EXPECT_EQ(report.substr(0, start.size()), start);
  EXPECT_EQ(report_count(report), 1);
}

TEST_F(fault_program, second_fault_of_a_process_adds_nothing) {
  EXPECT_EQ(run("twice"), illegal_instruction);
  std::string report = read_file(log);
  EXPECT_EQ(report_count(report), 1);
  EXPECT_NE(report.find("crash_fault_program caused Unknown exception type in module "), std::string::npos);
  EXPECT_EQ(report.find("caused an Illegal Instruction"), std::string::npos);
}

TEST_F(fault_program, module_whose_file_is_gone_shows_no_size_or_date) {
  std::string module = (install / "crash_probe_module.dll").string();
  ASSERT_TRUE(CopyFileA((test_program_folder() + "\\crash_probe_module.dll").c_str(), module.c_str(), FALSE));
  EXPECT_EQ(run("hide-module \"" + module + "\""), illegal_instruction);

  std::string module_line = line_starting_with(read_file(log), module + ", loaded at 0x");
  ASSERT_FALSE(module_line.empty());
  std::string ending = module_line.substr(module_line.find(" - "));
  // " - 0 bytes - " and the eight digits of the link time stamp, nothing after.
  EXPECT_EQ(ending.substr(0, 13), " - 0 bytes - ") << module_line;
  EXPECT_EQ(ending.size(), 13u + 8u) << module_line;
}

TEST_F(fault_program, report_file_that_cannot_be_opened_leaves_nothing) {
  HANDLE held =
      CreateFileA(log.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  DWORD exit_code = run();
  DWORD size = GetFileSize(held, nullptr);
  CloseHandle(held);
  EXPECT_EQ(exit_code, illegal_instruction);
  EXPECT_EQ(size, 0u);
}

}  // namespace

}  // namespace corvid
