#include "patch/install_log.h"

#include <windows.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/patch/patch_fixture.h"

namespace corvid {

namespace {

// One step of a run: a line the client adds, or bytes another program appends.
struct log_step {
  std::string add;
  std::string appended_outside;
};

log_step added(const std::string& line) { return {line, ""}; }
log_step outside(const std::string& bytes) { return {"", bytes}; }

class install_log_test : public patch_test {
 protected:
  // The log after `steps`, from a log that held `start`; in one batch or line by line.
  std::string log_after(const std::string& start, const std::vector<log_step>& steps, bool batched) {
    write(install_log_file, start);
    std::optional<install_log_batch> batch;
    if (batched) batch.emplace();
    for (const log_step& step : steps) {
      if (step.appended_outside.empty()) {
        add_install_log_line(step.add.c_str());
      } else {
        std::ofstream(install_log_file, std::ios::binary | std::ios::app) << step.appended_outside;
      }
    }
    return read(install_log_file);
  }

  // A batch may only spare reading: what it writes is what line-by-line adding writes.
  void expect_batch_writes(const std::string& start, const std::vector<log_step>& steps, const std::string& expected) {
    EXPECT_EQ(log_after(start, steps, false), expected) << "line by line";
    EXPECT_EQ(log_after(start, steps, true), expected) << "in a batch";
  }
};

TEST_F(install_log_test, a_batch_adds_each_line_once_without_regard_to_case) {
  expect_batch_writes("File Copy: C:\\Game\\a.dat\r\n",
                      {added("file copy: c:\\game\\A.DAT\n"), added("Made Dir: C:\\Game\\sub\\\n"),
                       added("File Copy: b\n"), added("FILE COPY: B\n"), added("Made Dir: C:\\Game\\sub\\\n")},
                      "File Copy: C:\\Game\\a.dat\r\nMade Dir: C:\\Game\\sub\\\r\nFile Copy: b\r\n");
}

TEST_F(install_log_test, a_batch_sees_what_another_program_wrote_into_the_log_meanwhile) {
  expect_batch_writes(
      "", {added("File Copy: a\n"), outside("File Copy: b\r\n"), added("file copy: B\n"), added("File Copy: a\n")},
      "File Copy: a\r\nFile Copy: b\r\n");
  // Emptied behind the batch's back: the lines are added again.
  write(install_log_file, "");
  {
    install_log_batch batch;
    add_install_log_line("File Copy: a\n");
    write(install_log_file, "");
    add_install_log_line("File Copy: a\n");
  }
  EXPECT_EQ(read(install_log_file), "File Copy: a\r\n");
}

TEST_F(install_log_test, lines_that_read_back_otherwise_are_looked_for_in_the_log_each_time) {
  // Glued to a last line without a line feed, the line is not found again.
  expect_batch_writes("Setup done", {added("File Copy: a\n"), added("File Copy: a\n")},
                      "Setup doneFile Copy: a\r\nFile Copy: a\r\n");
  // A text-mode read stops at Ctrl-Z, so nothing behind it is ever found.
  expect_batch_writes("File Copy: a\r\n\x1a",
                      {added("File Copy: b\n"), added("File Copy: b\n"), added("File Copy: a\n")},
                      "File Copy: a\r\n\x1a"
                      "File Copy: b\r\nFile Copy: b\r\n");
  // A line without its line feed joins the next one.
  expect_batch_writes("", {added("File Copy: a"), added("File Copy: b\n"), added("File Copy: a")},
                      "File Copy: aFile Copy: b\r\nFile Copy: a");
  // Longer than one read, a line is never found whole.
  std::string long_line = "File Copy: " + std::string(1100, 'x') + "\n";
  std::string long_written = long_line.substr(0, long_line.size() - 1) + "\r\n";
  expect_batch_writes("", {added(long_line), added(long_line)}, long_written + long_written);
}

TEST_F(install_log_test, without_a_log_a_batch_creates_none) {
  DeleteFileA(install_log_file);
  {
    install_log_batch batch;
    add_install_log_line("File Copy: a\n");
  }
  EXPECT_FALSE(exists(install_log_file));
}

}  // namespace

}  // namespace corvid
