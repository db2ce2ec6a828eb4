// Whole runs at the edges of what a list may hold: the most files, the longest names,
// paths at the platform's limit, and names with blanks and commas.

#include <gtest/gtest.h>

#include <windows.h>

#include "tests/e2e/whole_run.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t longest_path = 259;

class scale_run : public whole_run {
 protected:
  // Puts a release file into the installation as a finished earlier run left it.
  void preinstall(const listed_file& file) {
    fs::path installed = install_ / file.name;
    fs::create_directories(installed.parent_path());
    write_file(installed, file.bytes);
    set_modification_time(installed, file.time);
  }

  // A name of `length` characters below a folder of its own, in parts the file system
  // takes (at most 250 characters each).
  static std::string name_of_length(const std::string& folder, std::size_t length, char fill) {
    std::string name = folder + "/";
    while (name.size() + 1 < length) {
      std::size_t part = std::min<std::size_t>(250, length - name.size() - 1);
      name += std::string(part, fill) + "/";
    }
    name.back() = fill;  // the last part is the file's own name
    return name.substr(0, length);
  }

  std::size_t installation_path_length() const { return install_.path().string().size(); }
};

TEST_F(scale_run, a_list_of_7500_files_is_checked_whole_and_only_the_missing_ones_fetched) {
  const std::vector<std::string> fetched_names{"with blank.dat", "comma,name.dat", "dir with blank/a, b.dat",
                                               "Mixed Case/Two  Blanks.DAT"};
  for (const std::string& name : fetched_names) add_release_file(name, "fetched: " + name, 1700000000);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000050);
  for (int n = static_cast<int>(release_files_.size()); n < 7500; ++n) {
    add_release_file("many/d" + std::to_string(n / 250) + "/f" + std::to_string(n) + ".dat",
                     "file " + std::to_string(n), 1700000100 + n);
  }
  publish_and_serve();
  for (std::size_t i = fetched_names.size(); i < release_files_.size(); ++i) preinstall(release_files_[i]);

  std::size_t before = server_.request_count();
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{});
  expect_release_installed();
  EXPECT_NE(login_command_line(true), "");
  std::vector<std::string> files_asked;
  for (const std::string& target : requested(before)) {
    if (target.rfind("/product/", 0) == 0 && target != "/product/cpatch.dat" && target != "/product/gfl.mft" &&
        target != "/product/command.dat") {
      files_asked.push_back(target);
    }
  }
  EXPECT_EQ(files_asked.size(), fetched_names.size())
      << "only the four missing files are fetched: " << testing::PrintToString(files_asked);
  std::string log;
  for (std::string name :
       {"comma,name.dat", "dir with blank/a, b.dat", "mixed case/two  blanks.dat", "with blank.dat"}) {
    if (name.find('/') != std::string::npos) {
      log += "Made Dir: " + installed_path_text(name.substr(0, name.find('/') + 1)) + "\r\n";
    }
    log += "File Copy: " + installed_path_text(name) + "\r\n";
  }
  EXPECT_EQ(install_log(), log);
  expect_nothing_written_outside();
}

TEST_F(scale_run, paths_up_to_the_limit_are_installed_and_a_longer_one_ends_with_307) {
  std::size_t room = longest_path - installation_path_length() - 1;  // for the name after the separator
  ASSERT_LT(room, 255u) << "the install folder is too short for this case";
  std::string at_limit = name_of_length("a_limit", room, 'm');
  std::string over_limit = name_of_length("z_over", room + 1, 'o');
  add_release_file(at_limit, "at the limit", 1700000000);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000050);
  add_release_file(over_limit, "one over", 1700000100);
  publish_and_serve();

  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{network_error_box("Could not complete product update.", 307)});
  expect_release_installed({over_limit});
  EXPECT_FALSE(fs::exists(install_ / over_limit));

  // Each run says the same, and never fetches the file at the limit again.
  std::size_t before = server_.request_count();
  outcome = run();
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{network_error_box("Could not complete product update.", 307)});
  EXPECT_EQ(count_of("/product/" + at_limit, before), 0u);
  EXPECT_EQ(count_of("/product/login.dll", before), 0u);
  expect_nothing_written_outside();
}

TEST_F(scale_run, a_name_of_255_characters_is_read_and_refused_by_the_path_limit) {
  std::string longest_name = name_of_length("n255", 255, 'l');
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000050);
  add_release_file(longest_name, "a long name", 1700000100);
  publish_and_serve();
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_EQ(outcome.boxes, std::vector<shown_box>{network_error_box("Could not complete product update.", 307)});
  EXPECT_EQ(count_of("/product/" + longest_name), 1u) << "the list with it is valid";
  expect_release_installed({longest_name});
  expect_nothing_written_outside();
}

}  // namespace

}  // namespace corvid
