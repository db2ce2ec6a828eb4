// Whole runs that meet a full disk while they write a file: the run ends with the
// write's code, the installed copy is the one that was there, nothing half-written is
// left, and once there is room again a run completes the installation.

#include <gtest/gtest.h>

#include <windows.h>

#include "tests/e2e/whole_run.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

const fs::path small_disk = CORVID_SMALL_DISK_DIR;
const char* const no_small_disk = "no small file system could be mounted on this machine (mounting needs root)";

class disk_run : public whole_run {
 protected:
  disk_run() : whole_run(small_disk) {}

  static std::uint64_t free_bytes() {
    ULARGE_INTEGER available{};
    EXPECT_TRUE(GetDiskFreeSpaceExW(small_disk.c_str(), &available, nullptr, nullptr));
    return available.QuadPart;
  }

  // Fills the disk up to `room` free bytes, beside the install folder's parent.
  void leave_room(std::uint64_t room) {
    std::uint64_t filler = free_bytes() - room;
    HANDLE file = CreateFileW(filler_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string block(1 << 20, 'f');
    for (std::uint64_t left = filler; left > 0;) {
      DWORD part = static_cast<DWORD>(std::min<std::uint64_t>(left, block.size()));
      DWORD written = 0;
      ASSERT_TRUE(WriteFile(file, block.data(), part, &written, nullptr) && written == part);
      left -= part;
    }
    CloseHandle(file);
  }

  static bool mounted() { return fs::exists(small_disk / "mounted"); }

  void TearDown() override {
    whole_run::TearDown();
    DeleteFileW(filler_.c_str());
  }

  fs::path filler_ = small_disk / "filler.bin";
};

TEST_F(disk_run, a_full_disk_during_a_download_or_a_file_write_ends_with_its_code_and_keeps_the_old_copy) {
  if (!mounted()) GTEST_SKIP() << no_small_disk;
  add_release_file("a.dat", "first file", 1700000000);
  add_release_file("big.dat", incompressible_bytes(4 << 20, 5), 1700000100);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
  publish_and_serve();
  std::string old_copy = "an old copy of big.dat";
  install_.write("big.dat", old_copy);
  set_modification_time(install_ / "big.dat", 1600000000);

  // Room for the program's copy of itself and the small files, not for big.dat.
  leave_room(fs::file_size(install_ / "talomar.exe") + (1 << 20));

  // A server information file that outgrows the room fails as a download does.
  std::string info = read_file(out_ / "info.txt");
  server_.serve("/info.txt", info + std::string(3 << 20, '\n'));
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{network_error_box("Cannot connect to update server.", 205)});
  EXPECT_FALSE(install_.exists("cpatch.dat"));
  EXPECT_EQ(install_.read("big.dat"), old_copy);

  server_.serve("/info.txt", info);
  outcome = run();
  EXPECT_TRUE(outcome.ended);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{network_error_box("Could not complete product update.", 308)});
  EXPECT_EQ(login_command_line(false), "");
  expect_release_installed({"big.dat", "login.dll"});
  EXPECT_EQ(install_.read("big.dat"), old_copy);
  EXPECT_EQ(modification_time(install_ / "big.dat"), 1600000000);
  expect_no_scratch_files();
  expect_nothing_written_outside();

  ASSERT_TRUE(DeleteFileW(filler_.c_str()));
  expect_a_good_run_completes();
}

TEST_F(disk_run, a_full_disk_while_the_client_replaces_itself_ends_with_28_and_308_and_the_old_client_runs_on) {
  if (!mounted()) GTEST_SKIP() << no_small_disk;
  add_release_file("a.dat", "first file", 1700000000);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
  std::string new_program = program_bytes_ + incompressible_bytes(4 << 20, 9);
  add_client_file("talomar.exe", new_program, 1700003000);
  publish_and_serve();
  std::int64_t old_time = modification_time(install_ / "talomar.exe");

  leave_room(fs::file_size(install_ / "talomar.exe") + (1 << 20));
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{network_error_box("Cannot update patch utility.", 308)});
  EXPECT_TRUE(install_.read("talomar.exe") == program_bytes_) << "the client that can repair this is still there";
  EXPECT_EQ(modification_time(install_ / "talomar.exe"), old_time);
  expect_no_scratch_files();

  // The old client starts, and with room it replaces itself; the new one then installs the game.
  ASSERT_TRUE(DeleteFileW(filler_.c_str()));
  outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{client_updated_box()});
  EXPECT_TRUE(install_.read("talomar.exe") == new_program);
  expect_a_good_run_completes();
}

}  // namespace

}  // namespace corvid
