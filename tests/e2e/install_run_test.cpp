// Whole runs that end in an installed, up-to-date game: first install, later runs,
// the complete check, the manifest's attributes, the command script and mirrors.

#include <gtest/gtest.h>

#include "tests/e2e/whole_run.h"

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
    add_release_file("login.dll", read_bytes(CORVID_FAKE_PROGRAM), 1700000300);
    add_release_file("readme.txt", readme_text, 1700000400);
    add_release_file("text/notes.txt", "notes\n", 1700000500);
  }

  void publish_and_serve(const std::vector<std::string>& options = {}) {
    publish(options);
    serve_published();
    point_update_location_at(server_.location() + "/info.txt");
  }

  // What a first install of add_game fetches, in order.
  std::vector<std::string> first_install_requests() const {
    return {"/info.txt",          "/client/cpatch.dat",      "/product/command.dat",
            "/product/cpatch.dat", "/product/gfl.mft",       "/product/data/big.bin",
            "/product/data/empty.dat", "/product/data/maps/town.map", "/product/login.dll",
            "/product/readme.txt", "/product/text/notes.txt"};
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

  void expect_no_scratch_files() {
    EXPECT_FALSE(install_.exists("cpatch.dat"));
    EXPECT_FALSE(install_.exists("command.dat"));
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

  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_FALSE(outcome.notes_seen) << "no readme.txt was fetched this time";
  EXPECT_EQ(login_command_line(true), std::string("login.dll ") + launch_arguments);
  EXPECT_EQ(requested(before), (std::vector<std::string>{"/info.txt", "/client/cpatch.dat", "/product/command.dat",
                                                         "/product/cpatch.dat"}));
  expect_release_installed();
  EXPECT_EQ(install_log(), first_install_log()) << "nothing new is logged";
  expect_no_scratch_files();
}

}  // namespace
