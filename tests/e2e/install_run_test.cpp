// Whole runs that end in an installed, up-to-date game: first install, later runs,
// the complete check, the manifest's attributes, the command script and mirrors.

#include <gtest/gtest.h>

#include "tests/e2e/whole_run.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

const std::string readme_text =
    "Welcome to the new season.\n"
    "\n"
    "- the bridge is back\n"
    "The last line has no line feed";

class install_run : public whole_run {
 protected:
  // A small game: nested and mixed-case names, an empty file, a file of many
  // transfer chunks, the notes and the login program.
  void add_game() {
    add_release_file("Data/Maps/Town.MAP", std::string(5000, 'm') + "town", 1700000000);
    add_release_file("data/big.bin", incompressible_bytes(70000, 1), 1700000100);
    add_release_file("data/empty.dat", "", 1700000200);
    add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000300);
    add_release_file("readme.txt", readme_text, 1700000400);
    add_release_file("text/notes.txt", "notes\n", 1700000500);
  }

  // What a first install of add_game fetches, in order.
  std::vector<std::string> first_install_requests() const {
    return {"/info.txt",          "/client/cpatch.dat",    "/product/command.dat",    "/product/cpatch.dat",
            "/product/gfl.mft",   "/product/data/big.bin", "/product/data/empty.dat", "/product/data/maps/town.map",
            "/product/login.dll", "/product/readme.txt",   "/product/text/notes.txt"};
  }

  // The log is a text file of the game's: its lines end in CR LF on disk.
  std::string first_install_log() const {
    std::string log;
    for (const char* line : {"Made Dir: data/", "File Copy: data/big.bin", "File Copy: data/empty.dat",
                             "Made Dir: data/maps/", "File Copy: data/maps/town.map", "File Copy: login.dll",
                             "File Copy: readme.txt", "Made Dir: text/", "File Copy: text/notes.txt"}) {
      std::string text = line;
      std::size_t colon = text.find(": ") + 2;
      log += text.substr(0, colon) + installed_path_text(text.substr(colon)) + "\r\n";
    }
    return log;
  }
};

TEST_F(install_run, first_install_fetches_everything_shows_the_notes_and_play_starts_login) {
  add_game();
  publish_and_serve();

  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty()) << outcome.boxes.front().caption << ": " << outcome.boxes.front().text;
  EXPECT_TRUE(outcome.notes_seen);
  // Each line is followed by the dialog's own line break; the last one is shown too.
  EXPECT_EQ(outcome.notes_text,
            "Welcome to the new season.\r\r\n\r\r\n- the bridge is back\r\r\nThe last line has no line feed\r\r\n");
  EXPECT_EQ(login_command_line(true), std::string("login.dll ") + launch_arguments);

  EXPECT_EQ(requested(), first_install_requests());
  for (const http_request_record& request : server_.requests()) EXPECT_EQ(request.method, "GET");
  expect_release_installed();
  EXPECT_EQ(install_log(), first_install_log());
  ASSERT_TRUE(install_.exists("gfl.mft"));
  EXPECT_FALSE(is_hidden(install_ / "gfl.mft")) << "a manifest that was missing is stored ordinary";
  expect_no_scratch_files();
}

// The client with the release key fetches each tree's signed document before its list,
// runs no script the release does not sign, and keeps the serials it accepted.
TEST_F(install_run, a_keyed_client_installs_a_signed_release_and_keeps_its_serials) {
  use_keyed_client();
  add_game();
  publish_and_serve({"--sign", test_release_key_file()});

  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty()) << outcome.boxes.front().caption << ": " << outcome.boxes.front().text;
  std::vector<std::string> expected = first_install_requests();
  expected.erase(expected.begin() + 2);  // command.dat: the release has no script
  expected.insert(expected.begin() + 1, "/client/csigned.dat");
  expected.insert(expected.begin() + 3, "/product/csigned.dat");
  EXPECT_EQ(requested(), expected);
  expect_release_installed();
  EXPECT_EQ(install_.read("cserial.dat"), kept_serials(1, 1));
  expect_no_scratch_files();
}

// Bodies as other web servers frame them, each followed by further files: chunks that
// do not fall on the client's read size, an HTTP/1.0 body that the connection's close
// ends, and a body behind a redirect.
TEST_F(install_run, chunked_close_delimited_and_redirected_bodies_install) {
  add_game();
  publish_and_serve();
  auto published = [&](const std::string& name) { return read_file(out_ / "product" / name); };
  server_.serve_chunked("/product/data/big.bin", published("data/big.bin"), 1000);
  server_.serve_until_close("/product/data/maps/town.map", published("data/maps/town.map"));
  server_.serve_redirect("/product/login.dll", "/moved/login.dll");
  server_.serve("/moved/login.dll", published("login.dll"));

  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed();
  EXPECT_EQ(count_of("/moved/login.dll"), 1u);
  EXPECT_EQ(install_log(), first_install_log());
  EXPECT_EQ(login_command_line(true), std::string("login.dll ") + launch_arguments);
}

TEST_F(install_run, cancel_at_the_notes_installs_everything_but_does_not_start_login) {
  add_game();
  publish_and_serve();

  run_options options;
  options.play_notes = false;
  run_outcome outcome = run(options);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_TRUE(outcome.notes_seen);
  EXPECT_EQ(login_command_line(false), "");
  expect_release_installed();
  EXPECT_EQ(install_log(), first_install_log());
  expect_no_scratch_files();
}

TEST_F(install_run, second_run_fetches_nothing_and_starts_login_at_once) {
  add_game();
  publish_and_serve();
  ASSERT_TRUE(run().ended);
  ASSERT_NE(login_command_line(true), "");
  fs::remove(install_ / "login.dll.cmdline");
  std::size_t before = server_.request_count();

  // Started with no arguments, it passes none on.
  run_options no_arguments;
  no_arguments.arguments = "";
  run_outcome outcome = run(no_arguments);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_FALSE(outcome.notes_seen) << "no readme.txt was fetched this time";
  std::string login = login_command_line(true);
  EXPECT_EQ(login.substr(0, 9), "login.dll");
  EXPECT_EQ(login.find_first_not_of(' ', 9), std::string::npos) << login;
  EXPECT_EQ(requested(before), (std::vector<std::string>{"/info.txt", "/client/cpatch.dat", "/product/command.dat",
                                                         "/product/cpatch.dat"}));
  expect_release_installed();
  EXPECT_EQ(install_log(), first_install_log()) << "nothing new is logged";
  expect_no_scratch_files();
}

TEST_F(install_run, only_the_complete_check_finds_a_corrupted_file_of_the_right_length_and_time) {
  add_game();
  publish_and_serve();
  ASSERT_TRUE(run().ended);
  install_.write("text/notes.txt", "NOTES\n");
  set_modification_time(install_ / "text/notes.txt", 1700000500);

  std::size_t before = server_.request_count();
  run_outcome cheap = run();
  EXPECT_EQ(cheap.exit_code, 0u);
  EXPECT_TRUE(cheap.boxes.empty());
  EXPECT_EQ(count_of("/product/gfl.mft", before), 0u) << "the manifest is current";
  EXPECT_EQ(count_of("/product/text/notes.txt", before), 0u) << "the cheap check reads no file";
  EXPECT_EQ(install_.read("text/notes.txt"), "NOTES\n");

  before = server_.request_count();
  run_options complete;
  complete.prompt = prompt_answer::complete_check;
  run_outcome checked = run(complete);
  EXPECT_EQ(checked.exit_code, 0u);
  EXPECT_TRUE(checked.boxes.empty());
  EXPECT_FALSE(checked.notes_seen) << "readme.txt was right and is not fetched again";
  EXPECT_EQ(requested(before),
            (std::vector<std::string>{"/info.txt", "/client/cpatch.dat", "/product/command.dat", "/product/cpatch.dat",
                                      "/product/gfl.mft", "/product/text/notes.txt"}));
  expect_release_installed();
  EXPECT_FALSE(is_hidden(install_ / "gfl.mft")) << "the complete check stores the manifest ordinary";
  EXPECT_NE(login_command_line(true), "");
}

TEST_F(install_run, a_stale_manifest_is_stored_hidden_and_does_not_stop_a_later_complete_check) {
  add_game();
  publish_and_serve();
  ASSERT_TRUE(run().ended);
  ASSERT_FALSE(is_hidden(install_ / "gfl.mft"));
  std::int64_t manifest_time = modification_time(install_ / "gfl.mft");
  set_modification_time(install_ / "gfl.mft", manifest_time - 10);

  std::size_t before = server_.request_count();
  run_outcome stale = run();
  EXPECT_EQ(stale.exit_code, 0u);
  EXPECT_TRUE(stale.boxes.empty());
  EXPECT_EQ(count_of("/product/gfl.mft", before), 1u);
  EXPECT_TRUE(is_hidden(install_ / "gfl.mft"));
  EXPECT_EQ(modification_time(install_ / "gfl.mft"), manifest_time);
  EXPECT_EQ(requested(before).size(), 5u) << "no game file was fetched";

  // Re-creating a hidden file with ordinary attributes fails on Windows; the run must
  // not end with "Cannot retrieve product update information." for that.
  before = server_.request_count();
  run_options complete;
  complete.prompt = prompt_answer::complete_check;
  run_outcome checked = run(complete);
  EXPECT_EQ(checked.exit_code, 0u);
  EXPECT_TRUE(checked.boxes.empty()) << checked.boxes.front().caption << ": " << checked.boxes.front().text;
  EXPECT_EQ(count_of("/product/gfl.mft", before), 1u);
  EXPECT_FALSE(is_hidden(install_ / "gfl.mft"));
  EXPECT_EQ(modification_time(install_ / "gfl.mft"), manifest_time);
  expect_release_installed();
}

TEST_F(install_run, the_command_script_runs_before_the_check_and_is_deleted) {
  add_release_file("kept.dat", "the kept file", 1700001000);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700001100);
  write_file(work_ / "commands.txt",
             "Corvid Patch\n"
             "; the old names go\n"
             "unlink,junk/,*.tmp\n"
             "mv,old_name.dat,kept.dat\n");
  publish_and_serve({"--commands", (work_ / "commands.txt").string()});
  install_.write("junk/a.tmp", "a");
  install_.write("junk/b.tmp", "b");
  install_.write("junk/keep.txt", "k");
  // Renamed by the script, it is current when the check comes.
  install_.write("old_name.dat", "the kept file");
  set_modification_time(install_ / "old_name.dat", 1700001000);

  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_EQ(requested(), (std::vector<std::string>{"/info.txt", "/client/cpatch.dat", "/product/command.dat",
                                                   "/product/cpatch.dat", "/product/gfl.mft", "/product/login.dll"}));
  EXPECT_FALSE(install_.exists("junk/a.tmp"));
  EXPECT_FALSE(install_.exists("junk/b.tmp"));
  EXPECT_TRUE(install_.exists("junk/keep.txt"));
  EXPECT_FALSE(install_.exists("old_name.dat"));
  expect_release_installed();
  EXPECT_EQ(install_log(), "File Copy: " + installed_path_text("login.dll") + "\r\n");
  EXPECT_FALSE(install_.exists("command.dat"));
  EXPECT_NE(login_command_line(true), "");
}

// Without a daylight-saving rule start-up takes an hour more off every file's time, so
// no time ever agrees: every file of the right length is read, and the manifest is
// fetched again, hidden. This release has no login program, which ends the run quietly.
TEST_F(install_run, in_a_zone_without_daylight_saving_every_file_is_read_and_the_manifest_fetched_again) {
  add_release_file("kept.dat", "kept as it is", 1700004000);
  add_release_file("changed.dat", "the published bytes", 1700004100);
  publish_utc_offset_ = "0";
  publish_and_serve();
  run_options utc;
  utc.time_zone = "TZ=UTC0";
  run_outcome first = run(utc);
  EXPECT_EQ(first.exit_code, 0u);
  EXPECT_TRUE(first.boxes.empty());
  expect_release_installed();
  install_.write("changed.dat", "THE PUBLISHED BYTES");
  set_modification_time(install_ / "changed.dat", 1700004100);

  std::size_t before = server_.request_count();
  run_outcome second = run(utc);
  EXPECT_EQ(second.exit_code, 0u);
  EXPECT_TRUE(second.boxes.empty());
  EXPECT_EQ(requested(before),
            (std::vector<std::string>{"/info.txt", "/client/cpatch.dat", "/product/command.dat", "/product/cpatch.dat",
                                      "/product/gfl.mft", "/product/changed.dat"}));
  EXPECT_TRUE(is_hidden(install_ / "gfl.mft"));
  expect_release_installed();
  EXPECT_EQ(login_command_line(false), "");
}

TEST_F(install_run, files_come_from_the_mirrors_in_turn) {
  for (int i = 0; i < 5; ++i)
    add_release_file("file" + std::to_string(i) + ".dat", "content " + std::to_string(i), 1700002000 + i);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700002100);
  std::vector<std::string> options;
  for (int m = 0; m < 3; ++m) {
    std::string mirror = server_.location() + "/m" + std::to_string(m);
    options.insert(options.end(), {"--mirror", mirror + "/client," + mirror + "/product"});
  }
  publish_and_serve(options);
  for (const char* mirror : {"/m0", "/m1", "/m2"}) serve_published(mirror);

  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed();

  // One pair is drawn at random; the command script comes from its product mirror,
  // the lists from the next pair, and the files from the mirrors in turn from there.
  std::vector<std::string> seen = requested();
  ASSERT_GE(seen.size(), 4u);
  int drawn = -1;
  for (int m = 0; m < 3; ++m) {
    if (seen[2] == "/m" + std::to_string(m) + "/product/command.dat") drawn = m;
  }
  ASSERT_NE(drawn, -1) << seen[2];
  auto mirror = [&](int k) { return "/m" + std::to_string((drawn + k) % 3); };
  std::vector<std::string> expected{"/info.txt", mirror(1) + "/client/cpatch.dat", mirror(0) + "/product/command.dat",
                                    mirror(1) + "/product/cpatch.dat", mirror(1) + "/product/gfl.mft"};
  for (int i = 0; i < 5; ++i) expected.push_back(mirror(1 + i) + "/product/file" + std::to_string(i) + ".dat");
  expected.push_back(mirror(6) + "/product/login.dll");
  EXPECT_EQ(seen, expected);
}

TEST_F(install_run, a_new_update_client_is_installed_and_the_product_waits_for_the_next_run) {
  add_game();
  std::string new_program = program_bytes_ + std::string(16, '\0');
  add_client_file("talomar.exe", new_program, 1700003000);
  add_client_file("uc/helper.dat", "helper", 1700003100);
  publish_and_serve();

  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{client_updated_box()});
  EXPECT_EQ(requested(), (std::vector<std::string>{"/info.txt", "/client/cpatch.dat", "/client/talomar.exe",
                                                   "/client/uc/helper.dat"}));
  EXPECT_TRUE(install_.read("talomar.exe") == new_program);
  EXPECT_EQ(modification_time(install_ / "talomar.exe"), 1700003000);
  EXPECT_EQ(install_.read("uc/helper.dat"), "helper");
  EXPECT_EQ(modification_time(install_ / "uc/helper.dat"), 1700003100);
  EXPECT_EQ(install_log(), "File Copy: " + installed_path_text("talomar.exe") + "\r\n" +
                               "Made Dir: " + installed_path_text("uc/") + "\r\n" +
                               "File Copy: " + installed_path_text("uc/helper.dat") + "\r\n");
  EXPECT_FALSE(install_.exists("gfl.mft"));
  EXPECT_EQ(login_command_line(false), "");

  // The new client finds itself current and goes on to the game.
  std::size_t before = server_.request_count();
  run_outcome again = run();
  EXPECT_EQ(again.exit_code, 0u);
  EXPECT_TRUE(again.boxes.empty());
  EXPECT_EQ(count_of("/client/talomar.exe", before), 0u);
  expect_release_installed();
}

}  // namespace

}  // namespace corvid
