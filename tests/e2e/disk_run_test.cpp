// A whole run that meets a full disk while it writes a file: the run ends with the
// write's code, the half-written file is gone, and once there is room again a run
// completes the installation.

#include <gtest/gtest.h>

#include <windows.h>

#include "tests/e2e/whole_run.h"

namespace fs = std::filesystem;

namespace {

const fs::path small_disk = CORVID_SMALL_DISK_DIR;

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

  void TearDown() override {
    whole_run::TearDown();
    DeleteFileW(filler_.c_str());
  }

  fs::path filler_ = small_disk / "filler.bin";
};

TEST_F(disk_run, a_full_disk_during_a_download_or_a_file_write_ends_with_its_code_and_a_later_run_completes) {
  if (!fs::exists(small_disk / "mounted")) {
    GTEST_SKIP() << "no small file system could be mounted on this machine (mounting needs root)";
  }
  add_release_file("a.dat", "first file", 1700000000);
  add_release_file("big.dat", incompressible_bytes(4 << 20, 5), 1700000100);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
  publish();
  serve_published();
  point_update_location_at(server_.location() + "/info.txt");
  std::string old_copy = "an old copy of big.dat";
  install_.write("big.dat", old_copy);

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
  EXPECT_FALSE(install_.exists("big.dat")) << "no half-written file is left to pass for a good one";
  EXPECT_FALSE(install_.exists("cpatch.dat"));
  EXPECT_FALSE(install_.exists("command.dat"));
  expect_nothing_written_outside();

  ASSERT_TRUE(DeleteFileW(filler_.c_str()));
  expect_a_good_run_completes();
}

}  // namespace
