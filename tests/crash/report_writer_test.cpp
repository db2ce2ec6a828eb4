// The report writer called directly with chosen exception records and contexts.
#include <gtest/gtest.h>

#include <string>

#include "crash/crash_report.h"
#include "crash/report_text.h"
#include "crash/report_writer.h"
#include "crash_test_files.h"

namespace corvid {

namespace {

constexpr DWORD access_violation = 0xC0000005;
// CTest may run these tests side by side, and every report lands beside the one test
// program: each test writes a file of its own name.
std::string report_name() {
  return std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".log";
}

std::string beside_test_program(const std::string& name) { return test_program_folder() + "\\" + name; }

std::string hex(uintptr_t value) { return format_address(value).digits; }

// The registers that the tests choose, under either build's names.
#ifdef _WIN64
DWORD64& instruction_pointer(CONTEXT& context) { return context.Rip; }
DWORD64& stack_pointer(CONTEXT& context) { return context.Rsp; }
std::string first_register_line_start(const CONTEXT& context) {
  return "RAX=" + hex(context.Rax) + " CS=0033 RIP=" + hex(context.Rip) + " EFLGS=";
}
#else
DWORD& instruction_pointer(CONTEXT& context) { return context.Eip; }
DWORD& stack_pointer(CONTEXT& context) { return context.Esp; }
std::string first_register_line_start(const CONTEXT& context) {
  return "EAX=" + hex(context.Eax) + " CS=0033 EIP=" + hex(context.Eip) + " EFLGS=";
}
#endif

// The stack dump's line lengths, from the build's word width.
constexpr size_t word_size = sizeof(uintptr_t);
constexpr size_t line_prefix_length = address_digits + 2;
constexpr size_t word_length = address_digits + 1;
constexpr size_t full_line_length = line_prefix_length + 8 * word_length + 1;

// A fault with the test's own registers, at an instruction of the test program.
struct chosen_fault {
  EXCEPTION_RECORD record{};
  CONTEXT context{};

  explicit chosen_fault(DWORD code) {
    RtlCaptureContext(&context);
    context.SegCs = 0x33;
    instruction_pointer(context) = reinterpret_cast<uintptr_t>(&beside_test_program);
    record.ExceptionCode = code;
  }

  void with_parameters(std::initializer_list<ULONG_PTR> parameters) {
    record.NumberParameters = 0;
    for (ULONG_PTR parameter : parameters) record.ExceptionInformation[record.NumberParameters++] = parameter;
  }

  std::string report() const {
    std::string file_name = report_name();
    std::string path = beside_test_program(file_name);
    DeleteFileA(path.c_str());
    EXCEPTION_POINTERS info{const_cast<EXCEPTION_RECORD*>(&record), const_cast<CONTEXT*>(&context)};
    write_report(info, "worker thread", file_name.c_str());
    std::string text = read_file(path);
    DeleteFileA(path.c_str());
    return text;
  }
};

const std::string module_list_header = "\r\n\tModule list: names, addresses, sizes, time stamps and file times:\r\n";

TEST(report_writer, opening_lines_of_an_access_violation) {
  chosen_fault fault(access_violation);
  fault.with_parameters({1, 0xdeadbeef});
  std::string report = fault.report();

  std::string first_line =
      "\r\n\r\n\r\n\r\ncrash_tests caused an Access Violation in module "
      "crash_tests.exe at 0033:" +
      hex(instruction_pointer(fault.context)) +
      ".\r\n"
      "Exception handler called in worker thread.\r\n"
      "Error occurred at ";
  EXPECT_EQ(report.substr(0, first_line.size()), first_line);

  std::string exe = beside_test_program("crash_tests.exe");
  std::string run_by = line_starting_with(report, exe + ", run by ");
  EXPECT_GT(run_by.size(), exe.size() + 10);
  EXPECT_EQ(run_by.back(), '.');
  EXPECT_NE(report.find(" processor(s), type "), std::string::npos);
  EXPECT_NE(report.find(" MBytes physical memory.\r\n"), std::string::npos);
  EXPECT_EQ(line_starting_with(report, "Write to"),
            "Write to location " + hex(0xdeadbeef) + " caused an access violation.");
  EXPECT_NE(report.find("\r\n\r\nRegisters:\r\n" + first_register_line_start(fault.context)), std::string::npos);

  fault.with_parameters({0, 0x10});
  EXPECT_EQ(line_starting_with(fault.report(), "Read from"),
            "Read from location " + hex(0x10) + " caused an access violation.");
}

TEST(report_writer, no_access_line_without_both_parameters_or_for_other_faults) {
  chosen_fault short_record(access_violation);
  short_record.with_parameters({1});
  std::string report = short_record.report();
  EXPECT_NE(report.find("caused an Access Violation in module"), std::string::npos);
  EXPECT_EQ(report.find("caused an access violation"), std::string::npos);

  chosen_fault divide(0xC0000094);
  divide.with_parameters({1, 0x1234});
  report = divide.report();
  EXPECT_NE(report.find("crash_tests caused an Integer Divide by Zero in module crash_tests.exe"), std::string::npos);
  EXPECT_EQ(report.find("caused an access violation"), std::string::npos);
}

TEST(report_writer, unlisted_code_is_an_unknown_exception_type) {
  std::string report = chosen_fault(0xE0001234).report();
  EXPECT_NE(report.find("\r\ncrash_tests caused Unknown exception type in module crash_tests.exe"), std::string::npos);
}

TEST(report_writer, instruction_pointer_in_unreadable_memory) {
  chosen_fault fault(access_violation);
  instruction_pointer(fault.context) = 0x10;
  std::string report = fault.report();
  EXPECT_NE(report.find(" in module Unknown at 0033:" + hex(0x10) + ".\r\n"), std::string::npos);
  std::string sixteen_unknown;
  for (int i = 0; i < 16; ++i) sixteen_unknown += "?? ";
  EXPECT_EQ(between(report, "Bytes at CS:EIP:\r\n", "\r\nStack dump:\r\n"), sixteen_unknown);
}

// Each code byte has its own guard: bytes before an unreadable page are still shown.
TEST(report_writer, code_bytes_up_to_an_unreadable_page) {
  page_before_a_hole memory;
  ASSERT_NE(memory.end(), nullptr);
  unsigned char* code = memory.end() - 12;
  for (int i = 0; i < 12; ++i) code[i] = static_cast<unsigned char>(0xf0 + i);

  chosen_fault fault(0xC000001D);
  instruction_pointer(fault.context) = reinterpret_cast<uintptr_t>(code);
  std::string report = fault.report();
  EXPECT_EQ(between(report, "Bytes at CS:EIP:\r\n", "\r\nStack dump:\r\n"),
            "f0 f1 f2 f3 f4 f5 f6 f7 f8 f9 fa fb ?? ?? ?? ?? ");
  // Memory that is no module's image.
  EXPECT_NE(report.find(" in module Unknown at "), std::string::npos);
}

// The dump stops at the stack base: 100 bytes hold twelve whole 8-byte words, or
// twenty-five 4-byte ones.
TEST(report_writer, stack_dump_stops_at_the_stack_base) {
  chosen_fault fault(access_violation);
  uintptr_t base = current_stack_base();
  stack_pointer(fault.context) = base - 100;
  std::string dump = between(fault.report(), "\r\nStack dump:\r\n", module_list_header);

  const size_t words = 100 / word_size;
  ASSERT_EQ(dump.size(), words / 8 * full_line_length + line_prefix_length + words % 8 * word_length + 1);
  EXPECT_EQ(dump.substr(0, line_prefix_length), hex(base - 100) + ": ");
  size_t second_line = dump.find("\r\n") + 2;
  EXPECT_EQ(dump.substr(second_line, line_prefix_length), hex(base - 100 + 8 * word_size) + ": ");
  EXPECT_EQ(dump.substr(dump.size() - 2), "\r\n");
  uintptr_t last_word = *reinterpret_cast<const uintptr_t*>(base - 100 + (words - 1) * word_size);
  EXPECT_EQ(dump.substr(dump.size() - word_length - 1, address_digits), hex(last_word));

  // A stack pointer above the base leaves nothing to dump.
  stack_pointer(fault.context) = base + 64;
  EXPECT_EQ(between(fault.report(), "\r\nStack dump:\r\n", module_list_header), "");
}

TEST(report_writer, stack_dump_is_limited_to_8_kib) {
  chosen_fault fault(access_violation);
  uintptr_t base = current_stack_base();
  stack_pointer(fault.context) = base - 8192 - 256;
  std::string dump = between(fault.report(), "\r\nStack dump:\r\n", module_list_header);

  const size_t lines = 8192 / word_size / 8;
  ASSERT_EQ(dump.size(), lines * full_line_length);
  EXPECT_EQ(dump.substr((lines - 1) * full_line_length, line_prefix_length), hex(base - 256 - 8 * word_size) + ": ");
  EXPECT_EQ(dump.find("Exception encountered"), std::string::npos);
}

TEST(report_writer, unreadable_stack_word_ends_the_dump_with_a_notice) {
  chosen_fault fault(access_violation);
  stack_pointer(fault.context) = 0x1000;
  std::string report = fault.report();
  EXPECT_NE(report.find("\r\nStack dump:\r\nException encountered during stack dump.\r\n" + module_list_header),
            std::string::npos);
}

TEST(report_writer, missing_report_name_means_errorlog_txt) {
  chosen_fault fault(access_violation);
  EXCEPTION_POINTERS info{&fault.record, &fault.context};
  std::string fallback = beside_test_program("errorlog.txt");
  for (const char* name : {"", static_cast<const char*>(nullptr)}) {
    DeleteFileA(fallback.c_str());
    write_report(info, "worker thread", name);
    std::string text = read_file(fallback);
    DeleteFileA(fallback.c_str());
    EXPECT_NE(text.find("Exception handler called in worker thread."), std::string::npos);
  }
}

// write_crash_report holds the once-per-process flag, so this is the one test that calls
// it.
TEST(report_writer, only_the_first_report_of_a_process_is_written) {
  chosen_fault fault(access_violation);
  EXCEPTION_POINTERS info{&fault.record, &fault.context};
  std::string path = beside_test_program("once_test.log");
  DeleteFileA(path.c_str());

  EXPECT_EQ(write_crash_report(&info, "first", "once_test.log"), EXCEPTION_CONTINUE_SEARCH);
  EXPECT_EQ(write_crash_report(&info, "second", "once_test.log"), EXCEPTION_CONTINUE_SEARCH);
  std::string text = read_file(path);
  DeleteFileA(path.c_str());
  EXPECT_NE(text.find("Exception handler called in first."), std::string::npos);
  EXPECT_EQ(text.find("Exception handler called in second."), std::string::npos);
}

}  // namespace

}  // namespace corvid
