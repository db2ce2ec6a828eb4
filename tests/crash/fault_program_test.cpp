// Real faults of a real program that carries the crash guard.
#include <gtest/gtest.h>

#include <string>

#include "crash_test_files.h"

namespace {

constexpr DWORD access_violation = 0xC0000005;
constexpr DWORD run_timeout_ms = 20000;

// The fault program copied into an install folder of its own, started from another
// working directory.
class fault_program : public ::testing::Test {
protected:
    void SetUp() override
    {
        exe = (install / "crash_fault_program.exe").string();
        ASSERT_TRUE(CopyFileA((test_program_folder() + "\\crash_fault_program.exe").c_str(),
                              exe.c_str(), FALSE));
        log = (install / "patch_exc.log").string();
    }

    DWORD run(const std::string& arguments = "")
    {
        DWORD exit_code = run_program(exe, arguments, elsewhere.path().string(), run_timeout_ms);
        EXPECT_NE(exit_code, static_cast<DWORD>(-1))
            << "not started, error " << GetLastError();
        EXPECT_NE(exit_code, STILL_ACTIVE) << "did not end in time";
        return exit_code;
    }

    // The report's count of "Exception handler called" lines.
    static int report_count(const std::string& text)
    {
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

TEST_F(fault_program, null_write_is_reported_beside_the_executable)
{
    EXPECT_EQ(run(), access_violation);
    EXPECT_FALSE(elsewhere.exists("patch_exc.log"));
    std::string report = read_file(log);

    const std::string opening =
        "\r\n\r\n\r\n\r\ncrash_fault_program caused an Access Violation in module "
        "crash_fault_program.exe at ";
    EXPECT_EQ(report.substr(0, opening.size()), opening);
    EXPECT_NE(report.find(".\r\nException handler called in main thread.\r\nError occurred at "),
              std::string::npos);
    EXPECT_EQ(line_starting_with(report, "Write to"),
              "Write to location 0000000000000000 caused an access violation.");
    EXPECT_EQ(report_count(report), 1);

    // The module list names the program with the size of its file, and the system's
    // kernel32 with a size and a date.
    HANDLE exe_file = CreateFileA(exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exe_file, INVALID_HANDLE_VALUE);
    DWORD exe_size = GetFileSize(exe_file, nullptr);
    CloseHandle(exe_file);
    std::string exe_line = line_starting_with(report, exe + ", loaded at 0x");
    EXPECT_NE(exe_line.find(" - " + std::to_string(exe_size) + " bytes - "), std::string::npos)
        << exe_line;
    EXPECT_NE(exe_line.find(" - file date is "), std::string::npos) << exe_line;

    size_t kernel32 = report.find("\\kernel32.dll, loaded at 0x");
    ASSERT_NE(kernel32, std::string::npos) << report;
    std::string kernel32_line = report.substr(kernel32, report.find("\r\n", kernel32) - kernel32);
    EXPECT_EQ(kernel32_line.find(" - 0 bytes - "), std::string::npos) << kernel32_line;
    EXPECT_NE(kernel32_line.find(" bytes - "), std::string::npos) << kernel32_line;
    EXPECT_NE(kernel32_line.find(" - file date is "), std::string::npos) << kernel32_line;
}

TEST_F(fault_program, report_is_appended_after_four_empty_lines)
{
    write_file(log, "an earlier report\r\n");
    EXPECT_EQ(run(), access_violation);
    std::string report = read_file(log);
    const std::string start = "an earlier report\r\n\r\n\r\n\r\n\r\ncrash_fault_program caused ";
    EXPECT_EQ(report.substr(0, start.size()), start);
    EXPECT_EQ(report_count(report), 1);
}

TEST_F(fault_program, second_fault_of_a_process_adds_nothing)
{
    EXPECT_EQ(run("twice"), access_violation);
    std::string report = read_file(log);
    EXPECT_EQ(report_count(report), 1);
    EXPECT_NE(report.find("crash_fault_program caused Unknown exception type in module "),
              std::string::npos);
    EXPECT_EQ(report.find("caused an Access Violation"), std::string::npos);
}

TEST_F(fault_program, module_whose_file_is_gone_shows_no_size_or_date)
{
    std::string module = (install / "crash_probe_module.dll").string();
    ASSERT_TRUE(CopyFileA((test_program_folder() + "\\crash_probe_module.dll").c_str(),
                          module.c_str(), FALSE));
    EXPECT_EQ(run("hide-module \"" + module + "\""), access_violation);

    std::string module_line = line_starting_with(read_file(log), module + ", loaded at 0x");
    ASSERT_FALSE(module_line.empty());
    std::string ending = module_line.substr(module_line.find(" - "));
    // " - 0 bytes - " and the eight digits of the link time stamp, nothing after.
    EXPECT_EQ(ending.substr(0, 13), " - 0 bytes - ") << module_line;
    EXPECT_EQ(ending.size(), 13u + 8u) << module_line;
}

TEST_F(fault_program, report_file_that_cannot_be_opened_leaves_nothing)
{
    HANDLE held = CreateFileA(log.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD exit_code = run();
    DWORD size = GetFileSize(held, nullptr);
    CloseHandle(held);
    EXPECT_EQ(exit_code, access_violation);
    EXPECT_EQ(size, 0u);
}

} // namespace
