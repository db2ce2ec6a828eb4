// Whole runs against broken servers and unwritable files: each ends with its box and
// code, keeps what was installed before the fault, writes nothing beside the install
// folder, and leaves nothing that stops a later run with a good server.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <optional>
#include <set>

#include "core/scratch_files.h"
#include "tests/e2e/whole_run.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

const std::string product_failed = "Could not complete product update.";

class fault_run : public whole_run {
 protected:
  void add_small_game() {
    add_release_file("fault_a.dat", "first file", 1700000000);
    add_release_file("fault_b.dat", incompressible_bytes(50000, 11), 1700000100);
    add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
  }

  std::string published(const std::string& name) const { return read_file(out_ / "product" / name); }

  void expect_ends_with(const run_outcome& outcome, const shown_box& box) {
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.exit_code, 0u);
    EXPECT_EQ(outcome.boxes, std::vector<shown_box>{box});
    EXPECT_EQ(login_command_line(false), "");
    expect_no_scratch_files();
  }

  // A broken fetch of fault_b.dat: the box with `code`, fault_a.dat kept, fault_b.dat
  // absent, and then a good run.
  void expect_fault_b_fails_then_recovers(int code) {
    expect_ends_with(run(), network_error_box(product_failed, code));
    expect_release_installed({"fault_b.dat", "login.dll"});
    EXPECT_FALSE(install_.exists("fault_b.dat"));
    expect_nothing_written_outside();
    expect_a_good_run_completes();
  }
};

TEST_F(fault_run, a_connection_closed_mid_file_ends_with_37_and_304) {
  add_small_game();
  publish_and_serve();
  server_.serve_fault("/product/fault_b.dat", http_fault::truncated_body, published("fault_b.dat"), 20000);
  expect_fault_b_fails_then_recovers(304);
}

TEST_F(fault_run, a_body_longer_than_announced_ends_with_37_and_304) {
  add_small_game();
  publish_and_serve();
  std::string body = published("fault_b.dat");
  server_.serve_fault("/product/fault_b.dat", http_fault::longer_than_announced, body + body, body.size() + 100);
  expect_fault_b_fails_then_recovers(304);
}

TEST_F(fault_run, an_endless_body_ends_with_37_and_304) {
  add_small_game();
  publish_and_serve();
  server_.endless_limit = 64ull * 1024 * 1024;
  server_.serve_fault("/product/fault_b.dat", http_fault::endless_body, published("fault_b.dat"));
  expect_fault_b_fails_then_recovers(304);
}

TEST_F(fault_run, a_404_page_for_every_file_ends_with_37_at_the_first_file) {
  add_small_game();
  publish_and_serve();
  for (const listed_file& file : release_files_) server_.serve_not_found_page("/product/" + file.name);
  expect_ends_with(run(), network_error_box(product_failed, 304));
  for (const listed_file& file : release_files_) EXPECT_FALSE(install_.exists(file.name)) << file.name;
  EXPECT_EQ(count_of("/product/fault_b.dat"), 0u);
  expect_nothing_written_outside();
  expect_a_good_run_completes();
}

TEST_F(fault_run, a_server_gone_after_the_manifest_ends_with_37_at_the_first_file) {
  add_small_game();
  publish_and_serve();
  server_.go_away_after("/product/gfl.mft");
  // The connection is closed before any answer: WinINet opens the request and finds
  // an empty body, short of the file's packed size.
  expect_ends_with(run(), network_error_box(product_failed, 304));
  for (const listed_file& file : release_files_) EXPECT_FALSE(install_.exists(file.name)) << file.name;
  EXPECT_EQ(install_log(), "");
  expect_nothing_written_outside();
  expect_a_good_run_completes();
}

TEST_F(fault_run, a_stall_mid_file_then_cancel_ends_silently) {
  add_small_game();
  publish_and_serve();
  server_.serve_fault("/product/fault_b.dat", http_fault::stalled_body, published("fault_b.dat"), 4096);
  run_options options;
  options.cancel_once_asked_for = "/product/fault_b.dat";
  run_outcome outcome = run(options);
  ASSERT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_FALSE(install_.exists("fault_b.dat"));
  EXPECT_EQ(login_command_line(false), "");
  expect_nothing_written_outside();
  expect_a_good_run_completes();
}

TEST_F(fault_run, a_client_ended_from_outside_mid_file_leaves_the_installed_copy_as_it_was) {
  add_small_game();
  publish_and_serve();
  install_.write("fault_b.dat", "an old copy");
  set_modification_time(install_ / "fault_b.dat", 1600000000);
  server_.serve_fault("/product/fault_b.dat", http_fault::stalled_body, published("fault_b.dat"), 4096);
  bool ended = false;
  run_options options;
  options.during = [&](DWORD process) {
    if (ended || count_of("/product/fault_b.dat") == 0 || !install_.exists(scratch_copy_name_at(0).c_str())) return;
    HANDLE handle = OpenProcess(PROCESS_TERMINATE, FALSE, process);
    ended = handle != nullptr && TerminateProcess(handle, 9);
    if (handle != nullptr) CloseHandle(handle);
    server_.release_stalled();
  };
  run_outcome outcome = run(options);
  ASSERT_TRUE(ended);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_EQ(install_.read("fault_b.dat"), "an old copy");
  EXPECT_EQ(modification_time(install_ / "fault_b.dat"), 1600000000);
  EXPECT_TRUE(install_.exists(scratch_copy_name_at(0).c_str())) << "an ended process cleans nothing up";
  expect_a_good_run_completes();
  expect_no_scratch_files();
}

TEST_F(fault_run, a_read_only_installed_file_is_replaced_and_folders_named_like_scratch_copies_block_nothing) {
  add_small_game();
  add_release_file("sub/c.dat", "in a folder", 1700000300);
  publish_and_serve();
  install_.write("fault_a.dat", "an old copy");
  ASSERT_TRUE(SetFileAttributesA((install_ / "fault_a.dat").string().c_str(), FILE_ATTRIBUTE_READONLY));
  fs::create_directories(install_ / "cfetch.dat" / "inside");
  fs::create_directories(install_ / "sub" / "CFetch.dat");
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed();
  EXPECT_TRUE(fs::is_directory(install_ / "cfetch.dat" / "inside") &&
              fs::is_directory(install_ / "sub" / "CFetch.dat"));
  expect_no_scratch_files();
  expect_nothing_written_outside();
}

TEST_F(fault_run, an_installed_file_held_open_without_write_sharing_ends_with_37_and_307) {
  add_small_game();
  publish_and_serve();
  install_.write("fault_b.dat", "an old copy");
  HANDLE held = CreateFileA((install_ / "fault_b.dat").string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  run_outcome outcome = run();
  CloseHandle(held);
  expect_ends_with(outcome, network_error_box(product_failed, 307));
  expect_release_installed({"fault_b.dat", "login.dll"});
  EXPECT_EQ(install_.read("fault_b.dat"), "an old copy");
  expect_nothing_written_outside();
  expect_a_good_run_completes();
}

TEST_F(fault_run, an_installed_file_held_for_a_moment_after_its_new_copy_is_complete_is_still_replaced) {
  add_small_game();
  publish_and_serve();
  install_.write("fault_b.dat", "an old copy");
  // Held without sharing, as a scanner holds a file it looks at, until 300 ms after
  // the new copy beside it is whole: then only the rename is left to do.
  kernel_handle held(CreateFileW((install_ / "fault_b.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  fs::path scratch = install_ / scratch_copy_name_at(0).c_str();
  std::size_t whole = fs::file_size(release_ / "fault_b.dat");
  std::optional<std::chrono::steady_clock::time_point> complete;
  run_options options;
  options.during = [&](DWORD) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!complete && GetFileAttributesExW(scratch.c_str(), GetFileExInfoStandard, &data) &&
        data.nFileSizeLow == whole) {
      complete = std::chrono::steady_clock::now();
    }
    if (complete && std::chrono::steady_clock::now() - *complete >= 300ms) held.reset();
  };
  run_outcome outcome = run(options);
  EXPECT_TRUE(complete) << "the new copy was never seen whole while the installed one was held";
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{});
  expect_release_installed();
  expect_no_scratch_files();
}

TEST_F(fault_run, a_folder_where_a_file_should_go_ends_with_37_and_307) {
  add_small_game();
  publish_and_serve();
  fs::create_directories(install_ / "fault_b.dat" / "inside");
  expect_ends_with(run(), network_error_box(product_failed, 307));
  expect_release_installed({"fault_b.dat", "login.dll"});
  EXPECT_TRUE(fs::is_directory(install_ / "fault_b.dat" / "inside")) << "the folder is left as it was";
  expect_nothing_written_outside();
  fs::remove_all(install_ / "fault_b.dat");
  expect_a_good_run_completes();
}

}  // namespace

}  // namespace corvid
