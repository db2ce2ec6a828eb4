// Whole runs on file systems of the tests' own. A full disk while a file is written:
// the run ends with the write's code, the installed copy is the one that was there,
// nothing half-written is left, and once there is room again a run completes the
// installation. A data folder linked to another volume updates like any other. A game
// folder that cannot be written has the program ask once for an elevated run of itself.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <thread>

#include "app/elevation.h"
#include "tests/e2e/whole_run.h"
#include "tests/support/emulation.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

const fs::path small_disk = CORVID_SMALL_DISK_DIR;
const char* const no_small_disk = "no small file system could be mounted on this machine (mounting needs root)";

bool mounted() { return fs::exists(small_disk / "mounted"); }

// Asks the fixture for a link at `link` to `target`, or for its removal (no target).
bool make_link(const fs::path& link, const fs::path& target = {}) {
  auto unix_path = [](const fs::path& path) {
    std::string text = path.string().substr(2);  // after "Z:"
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
  };
  fs::path request = small_disk.string() + ".links/request";
  write_file(request.string() + ".new", unix_path(link) + "\n" + (target.empty() ? "" : unix_path(target)) + "\n");
  fs::rename(request.string() + ".new", request);
  for (int poll = 0; poll < 200 && fs::exists(request); ++poll) std::this_thread::sleep_for(50ms);
  return !fs::exists(request);
}

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

// The game folder on the build's own disk, its data folder a link into the small one.
class linked_folder_run : public whole_run {
 protected:
  linked_folder_run() : whole_run(small_disk.parent_path()) {}
  void TearDown() override {
    whole_run::TearDown();
    if (linked_) make_link(install_ / "data");
  }
  fs::path data_ = small_disk / "linked_data";
  bool linked_ = false;
};

TEST_F(linked_folder_run, a_data_folder_linked_to_another_volume_updates) {
  if (!mounted()) GTEST_SKIP() << no_small_disk;
  add_release_file("data/map.dat", incompressible_bytes(100000, 3), 1700000000);
  add_release_file("data/new/town.dat", "made on the other volume", 1700000100);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
  publish_and_serve();
  fs::remove_all(data_);
  write_file(data_ / "map.dat", "an old map");
  ASSERT_TRUE(linked_ = make_link(install_ / "data", data_));

  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{});
  expect_release_installed();
  EXPECT_EQ(read_file(data_ / "new" / "town.dat"), "made on the other volume");
  expect_no_scratch_files();
}

// The program's own manifest, or nothing when it has none.
std::string manifest_of(const std::string& program) {
  HMODULE image = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (image == nullptr) return {};
  std::string text;
  if (HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(image, found)));
    if (bytes != nullptr) text.assign(bytes, SizeofResource(image, found));
  }
  FreeLibrary(image);
  return text;
}

TEST(read_only_run, an_unwritable_game_folder_starts_the_elevated_program_once_and_that_one_says_why) {
  std::string manifest = manifest_of(client_program());
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos) << manifest;
  for (const char* windows_7_to_11 : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                                      "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
    EXPECT_NE(manifest.find(windows_7_to_11), std::string::npos) << windows_7_to_11;
  }
  EXPECT_EQ(manifest.find("Common-Controls"), std::string::npos) << "the dialogs keep their classic look";

  if (!mounted()) GTEST_SKIP() << no_small_disk;
  install_folder game("e2e_read_only", small_disk / "writable");
  game.install_program(client_program(), "talomar.exe");
  game.write_update_location("127.0.0.1:1/info.txt");
  std::string read_only = (small_disk / "read_only" / game.path().filename()).string();
  std::replace(read_only.begin(), read_only.end(), '/', '\\');
  window_robot starter, elevated;
  ASSERT_TRUE(starter.start(read_only, "talomar.exe", launch_arguments));
  seen_window box = starter.wait_for_message_box(60s);
  ASSERT_TRUE(box.handle != nullptr && elevated.adopt(box.process_id)) << "no box within a minute";
  DWORD exit_code = 99;
  EXPECT_TRUE(starter.wait_for_exit(exit_code) && exit_code == 0) << "the run that asked ends with 0: " << exit_code;
  EXPECT_EQ((shown_box{box.caption, box.text}),
            (shown_box{"Cannot Complete Update",
                       "The game folder cannot be written without administrator rights:\n" + read_only +
                           "\n\nStart Talomar again and allow it to make changes, or ask an administrator to "
                           "update the game."}));
  // Another process's memory, where the command line is kept, cannot be read from
  // outside a 32-bit process under qemu-user (tests/support/emulation.h).
  if (other_processes_readable) {
    std::string command_line = window_robot::command_line_of(box.process_id);
    std::string tail = "\\talomar.exe\" " + std::string(elevated_run_mark) + " " + launch_arguments;
    EXPECT_TRUE(command_line.size() > tail.size() && command_line.substr(command_line.size() - tail.size()) == tail)
        << command_line;
  }
  window_robot::press(box.handle, IDOK);
  EXPECT_TRUE(elevated.wait_for_exit(exit_code) && static_cast<int>(exit_code) == -1) << exit_code;
  EXPECT_EQ(starter.wait_for_message_box(2s).handle, nullptr) << "the elevated run asks for no further run";
  end_every_other_windowed_process();
}

}  // namespace

}  // namespace corvid
