// Whole runs that stop early: every failure box with its code, the server's own
// notices, the size limit, and the player stopping the run at each point.

#include <gtest/gtest.h>

#include "app/resources/resource_ids.h"
#include "tests/e2e/whole_run.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

class failure_run : public whole_run {
 protected:
  void add_small_game() {
    add_release_file("a.dat", "first file", 1700000000);
    add_release_file("b.dat", "second file", 1700000100);
    add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
  }

  // The published stream of `name` without its last byte.
  void serve_one_byte_short(const std::string& name) {
    std::string stream = read_file(out_ / name.substr(1));
    server_.serve(name, stream.substr(0, stream.size() - 1));
  }

  // A run that ends with exactly one box, without starting the login program.
  void expect_ends_with(const run_outcome& outcome, const shown_box& box) {
    EXPECT_EQ(outcome.exit_code, 0u);
    EXPECT_EQ(outcome.boxes, std::vector<shown_box>{box});
    EXPECT_FALSE(outcome.notes_seen);
    EXPECT_EQ(login_command_line(false), "");
    EXPECT_FALSE(install_.exists("cpatch.dat"));
    EXPECT_FALSE(install_.exists("command.dat"));
  }

  std::string closed_location() const { return "127.0.0.1:" + std::to_string(test_http_server::closed_port()); }

  // Sums what a fresh install of the published tree fetches.
  std::uint64_t packed_total() const {
    std::uint64_t total = 0;
    for (const listed_file& file : release_files_) total += fs::file_size(out_ / "product" / file.name);
    return total;
  }

  // Publishes login.dll and a filler whose streams add up to exactly `total` bytes.
  void publish_with_packed_total(std::uint64_t total, const std::vector<std::string>& options) {
    add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
    std::size_t filler = static_cast<std::size_t>(total) - 4096;
    for (int attempt = 0; attempt < 8; ++attempt) {
      release_files_.resize(1);
      add_release_file("filler.bin", incompressible_bytes(filler, 7), 1700000300);
      publish(options);
      std::uint64_t got = packed_total();
      if (got == total) break;
      filler = static_cast<std::size_t>(static_cast<std::int64_t>(filler) + static_cast<std::int64_t>(total) -
                                        static_cast<std::int64_t>(got));
    }
    ASSERT_EQ(packed_total(), total);
    serve_published();
    point_update_location_at(server_.location() + "/info.txt");
  }
};

const shown_box size_limit_box{
    "Cannot Complete Update",
    "This client cannot update your Talomar installation\nbecause a large number of key files are missing or "
    "corrupted.\n\nPlease re-install the game from your installation CD and try again."};

TEST_F(failure_run, an_unreachable_server_ends_with_the_connect_message_and_the_download_code) {
  point_update_location_at(closed_location() + "/info.txt");
  run_outcome outcome = run();
  expect_ends_with(outcome, network_error_box("Cannot connect to update server.", 201));
}

TEST_F(failure_run, a_down_notice_is_shown_and_the_run_ends_without_the_connect_message) {
  add_small_game();
  publish_and_serve({"--down", "Closed for maintenance.\nBack at noon."});
  run_outcome outcome = run();
  // The published file ends with a line feed, so the notice ends with an empty line.
  expect_ends_with(outcome, {"Server Status", "Closed for maintenance.\nBack at noon.\n\n"});
  EXPECT_EQ(requested(), std::vector<std::string>{"/info.txt"});
}

TEST_F(failure_run, a_redirect_to_itself_or_to_nowhere_is_followed_silently_until_cancel) {
  add_small_game();
  publish_and_serve({"--redirect", server_.location() + "/info.txt"});
  run_options options;
  options.cancel_once_asked_for = "/info.txt";
  options.cancel_at_count = 5;
  run_outcome outcome = run(options);
  ASSERT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_EQ(count_of("/info.txt"), requested().size()) << "nothing but the server information is asked for";
  EXPECT_EQ(login_command_line(false), "");

  // A location that cannot be reached fails every attempt; the run stays in connect.
  publish_and_serve({"--redirect", closed_location() + "/info.txt"});
  std::size_t before = server_.request_count();
  options.cancel_at_count = count_of("/info.txt") + 1;
  options.cancel_delay = 3s;
  outcome = run(options);
  ASSERT_TRUE(outcome.cancelled) << "still running after the delay";
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_EQ(requested(before), std::vector<std::string>{"/info.txt"});
  EXPECT_EQ(login_command_line(false), "");
}

TEST_F(failure_run, an_unreachable_client_list_host_ends_with_message_26) {
  add_small_game();
  publish_and_serve({"--header-hosts", closed_location() + "/client," + server_.location() + "/product"});
  expect_ends_with(run(), network_error_box("Cannot retrieve patch utility update information.", 201));
}

TEST_F(failure_run, an_invalid_client_list_ends_with_message_27) {
  add_small_game();
  publish_and_serve();
  server_.serve("/client/cpatch.dat", "Corvid Patch\n0\n");
  expect_ends_with(run(), network_error_box("Cannot parse patch utility update information.", 0));
  EXPECT_EQ(count_of("/product/cpatch.dat"), 0u);
}

TEST_F(failure_run, a_short_client_file_ends_with_message_28_and_its_code) {
  add_small_game();
  add_client_file("uc/new.dat", "a new client part", 1700000500);
  publish_and_serve();
  serve_one_byte_short("/client/uc/new.dat");
  expect_ends_with(run(), network_error_box("Cannot update patch utility.", 304));
  EXPECT_FALSE(install_.exists("uc/new.dat"));
  EXPECT_EQ(count_of("/product/cpatch.dat"), 0u);
}

TEST_F(failure_run, an_unreachable_product_header_host_ends_with_message_31) {
  add_small_game();
  publish_and_serve({"--header-hosts", server_.location() + "/client," + closed_location() + "/product"});
  expect_ends_with(run(), network_error_box("Cannot retrieve product update information.", 201));
  EXPECT_FALSE(install_.exists("gfl.mft"));
}

TEST_F(failure_run, a_patch_header_without_its_magic_ends_with_message_32) {
  add_small_game();
  publish_and_serve();
  server_.serve_not_found_page("/product/cpatch.dat");
  expect_ends_with(run(), network_error_box("Cannot open manifest update information.", 0));
  EXPECT_EQ(count_of("/product/gfl.mft"), 0u);
}

TEST_F(failure_run, a_manifest_that_does_not_inflate_ends_with_message_34_and_is_deleted) {
  add_small_game();
  publish_and_serve();
  std::string manifest = read_file(out_ / "product/gfl.mft");
  server_.serve("/product/gfl.mft", std::string(manifest.size(), 'x'));
  expect_ends_with(run(), network_error_box("Cannot parse product update information.", 0));
  EXPECT_EQ(count_of("/product/gfl.mft"), 1u);
  EXPECT_FALSE(install_.exists("gfl.mft")) << "the next run fetches it again";
  EXPECT_FALSE(install_.exists("a.dat"));
}

TEST_F(failure_run, a_short_product_file_ends_with_message_37_and_keeps_the_files_before_it) {
  add_small_game();
  publish_and_serve();
  serve_one_byte_short("/product/b.dat");
  expect_ends_with(run(), network_error_box("Could not complete product update.", 304));
  expect_release_installed({"b.dat", "login.dll"});
  EXPECT_FALSE(install_.exists("b.dat"));
  EXPECT_FALSE(install_.exists("login.dll"));
  EXPECT_EQ(install_log(), "File Copy: " + installed_path_text("a.dat") + "\r\n");
}

TEST_F(failure_run, an_update_exactly_at_the_size_limit_is_installed) {
  publish_with_packed_total(1048576, {"--max-patch-mb", "1"});
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed();
  EXPECT_NE(login_command_line(true), "");
}

TEST_F(failure_run, one_byte_over_the_size_limit_fetches_nothing_and_says_so) {
  publish_with_packed_total(1048577, {"--max-patch-mb", "1"});
  expect_ends_with(run(), size_limit_box);
  EXPECT_EQ(last_requested(), "/product/gfl.mft");
  EXPECT_FALSE(install_.exists("filler.bin"));
}

TEST_F(failure_run, a_size_limit_of_0_is_no_limit) {
  publish_with_packed_total(1048577, {"--max-patch-mb", "0"});
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed();
}

TEST_F(failure_run, cancel_at_the_prompt_ends_before_anything_is_asked_for) {
  add_small_game();
  publish_and_serve();
  run_options options;
  options.prompt = prompt_answer::cancel;
  run_outcome outcome = run(options);
  EXPECT_TRUE(outcome.prompt_seen);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_TRUE(requested().empty());
  EXPECT_FALSE(install_.exists("a.dat"));
  EXPECT_EQ(login_command_line(false), "");
}

TEST_F(failure_run, cancel_during_a_fetch_ends_silently_and_keeps_the_files_fetched_so_far) {
  add_release_file("a_first.dat", "fetched before the cancel", 1700000000);
  add_release_file("b_big.dat", incompressible_bytes(200000, 3), 1700000100);
  add_release_file("c_last.dat", "never reached", 1700000200);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000300);
  publish_and_serve();
  server_.serve_fault("/product/b_big.dat", http_fault::stalled_body, read_file(out_ / "product/b_big.dat"), 4096);
  run_options options;
  options.cancel_once_asked_for = "/product/b_big.dat";
  run_outcome outcome = run(options);
  ASSERT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed({"b_big.dat", "c_last.dat", "login.dll"});
  EXPECT_FALSE(install_.exists("b_big.dat"));
  EXPECT_FALSE(install_.exists("c_last.dat"));
  EXPECT_EQ(count_of("/product/c_last.dat"), 0u);
  EXPECT_EQ(login_command_line(false), "");
  EXPECT_TRUE(install_.exists("gfl.mft")) << "a cancelled fetch keeps the manifest";
}

TEST_F(failure_run, closing_the_window_during_a_download_ends_with_0_and_removes_the_scratch_files) {
  add_small_game();
  std::string script = "Corvid Patch\n";
  for (int i = 0; i < 100; ++i)
    script += "; a long comment so that the script takes many chunks " + std::to_string(i) + "\n";
  write_file(work_ / "commands.txt", script);
  publish_and_serve({"--commands", (work_ / "commands.txt").string()});
  server_.serve_fault("/product/command.dat", http_fault::stalled_body, read_file(out_ / "product/command.dat"), 2048);
  bool closed = false;
  bool scratch_files_were_there = false;
  run_options options;
  options.during = [&](DWORD process) {
    if (closed || count_of("/product/command.dat") == 0) return;
    HWND progress = progress_window_of(process);
    if (progress == nullptr) return;
    Sleep(300);  // the first chunks arrive and the client waits for more
    scratch_files_were_there = install_.exists("cpatch.dat") && install_.exists("command.dat");
    window_robot::close(progress);
    closed = true;
    server_.release_stalled();
  };
  run_outcome outcome = run(options);
  ASSERT_TRUE(closed);
  EXPECT_TRUE(scratch_files_were_there) << "the client list and the partial script are on disk mid-download";
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_FALSE(install_.exists("cpatch.dat"));
  EXPECT_FALSE(install_.exists("command.dat"));
  EXPECT_EQ(count_of("/product/cpatch.dat"), 0u);
  EXPECT_EQ(login_command_line(false), "");
}

}  // namespace

}  // namespace corvid
