#include "patch/command_script.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/update_state.h"
#include "tests/patch/patch_fixture.h"

namespace corvid {

namespace {

namespace fs = std::filesystem;

class command_script_test : public patch_test {
 protected:
  command_script_test() {
    sibling_ = folder_.path().string() + "_sibling";
    fs::create_directories(sibling_);
  }
  ~command_script_test() override {
    std::error_code ignored;
    fs::remove_all(sibling_, ignored);
  }

  bool run(const std::string& commands, const std::string& header = "Corvid Patch") {
    write("command.dat", header + "\r\n" + commands);
    return run_command_script("command.dat");
  }

  void make_folder(const std::string& name) const { fs::create_directories(folder_ / name); }

  // A folder beside the installation whose name starts with the installation's own.
  std::string sibling_;
};

TEST_F(command_script_test, a_header_with_a_trailing_blank_runs_nothing) {
  write("old.tmp", "x");
  EXPECT_FALSE(run("unlink,,old.tmp\n", "Corvid Patch "));
  EXPECT_TRUE(exists("old.tmp"));
  EXPECT_FALSE(run_command_script("absent.dat"));
  // Read in text mode, where a Ctrl-Z ends the file: nothing after it is a command.
  EXPECT_TRUE(run("\x1a\nunlink,,old.tmp\n"));
  EXPECT_TRUE(exists("old.tmp"));
}

TEST_F(command_script_test, unlink_takes_the_plain_files_directly_in_the_folder) {
  write("data/a.tmp", "a");
  write("data/b.TMP", "b");
  write("data/keep.txt", "k");
  write("data/sub/c.tmp", "c");
  make_folder("data/folder.tmp");
  write("top.tmp", "t");
  ASSERT_TRUE(run("UNLINK,data/,*.tmp\n"));
  EXPECT_FALSE(exists("data/a.tmp"));
  EXPECT_FALSE(exists("data/b.TMP"));
  EXPECT_TRUE(exists("data/keep.txt"));
  EXPECT_TRUE(exists("data/sub/c.tmp"));
  EXPECT_TRUE(exists("data/folder.tmp"));
  EXPECT_TRUE(exists("top.tmp"));
}

TEST_F(command_script_test, unlink_joins_the_folder_and_name_without_a_separator) {
  write("data1.tmp", "1");
  write("data/x.tmp", "x");
  ASSERT_TRUE(run("unlink,data,*.tmp\n"));
  EXPECT_TRUE(exists("data1.tmp"));
  EXPECT_TRUE(exists("data/x.tmp"));
  ASSERT_TRUE(run("unlink,,data1.tmp\n"));
  EXPECT_FALSE(exists("data1.tmp"));
}

TEST_F(command_script_test, nothing_outside_the_installation_is_touched) {
  std::string sibling_name = fs::path(sibling_).filename().string();
  write("data/inside.tmp", "i");
  std::ofstream(fs::path(sibling_) / "victim.tmp") << "v";
  std::ofstream(fs::path(sibling_) / "moved.tmp") << "m";
  ASSERT_TRUE(run("unlink,../" + sibling_name + "/,*.tmp\n" + "unlink,data/,../../" + sibling_name + "/*.tmp\n" +
                  "unlink," + sibling_ + "/,*.tmp\n" + "mv,../" + sibling_name + "/moved.tmp,stolen.tmp\n" +
                  "mv,data/inside.tmp,../" + sibling_name + "/inside.tmp\n"));
  EXPECT_TRUE(fs::exists(fs::path(sibling_) / "victim.tmp"));
  EXPECT_TRUE(fs::exists(fs::path(sibling_) / "moved.tmp"));
  EXPECT_FALSE(exists("stolen.tmp"));
  EXPECT_TRUE(exists("data/inside.tmp"));
}

TEST_F(command_script_test, the_folder_test_resolves_before_it_compares) {
  std::string base = installation();
  EXPECT_TRUE(path_inside_installation(base.c_str(), "file.dat"));
  EXPECT_TRUE(path_inside_installation(base.c_str(), "data/sub/"));
  EXPECT_TRUE(path_inside_installation(base.c_str(), "data/../file.dat"));
  EXPECT_TRUE(path_inside_installation(base.c_str(), (base + "\\data\\x").c_str()));
  EXPECT_TRUE(path_inside_installation((base + "\\").c_str(), "DATA/x"));
  EXPECT_FALSE(path_inside_installation(base.c_str(), "../file.dat"));
  EXPECT_FALSE(path_inside_installation(base.c_str(), "data/../../file.dat"));
  EXPECT_FALSE(path_inside_installation(base.c_str(), (sibling_ + "/x").c_str()));
  EXPECT_FALSE(path_inside_installation(base.c_str(), "\\x"));
  char other_drive[] = "C:/x";
  other_drive[0] = base[0] == 'C' || base[0] == 'c' ? 'D' : 'C';
  EXPECT_FALSE(path_inside_installation(base.c_str(), other_drive));
  other_drive[2] = '\0';
  EXPECT_FALSE(path_inside_installation(base.c_str(), other_drive)) << "a drive without a folder";
}

TEST_F(command_script_test, rmdir_leaves_a_full_folder_and_the_script_goes_on) {
  write("full/file.dat", "f");
  make_folder("empty");
  ASSERT_TRUE(run("rmdir,full\nrmdir,empty\n"));
  EXPECT_TRUE(exists("full/file.dat"));
  EXPECT_FALSE(exists("empty"));
}

TEST_F(command_script_test, mv_renames_but_never_replaces) {
  write("a.dat", "a");
  write("b.dat", "b");
  write("old/name.dat", "n");
  ASSERT_TRUE(run("mv,a.dat,b.dat\nmv,old/name.dat,old/new.dat\nmv,absent.dat,c.dat\nmv,old,older\n"));
  EXPECT_EQ(read("a.dat"), "a");
  EXPECT_EQ(read("b.dat"), "b");
  EXPECT_EQ(read("older/new.dat"), "n");
  EXPECT_FALSE(exists("c.dat"));
}

TEST_F(command_script_test, comments_empty_lines_and_leading_blanks_are_skipped) {
  write("a.tmp", "a");
  write("b.tmp", "b");
  write("c.tmp", "c");
  write("d.tmp", "d");
  ASSERT_TRUE(run(";unlink,,a.tmp\n\n unlink,,b.tmp\r\nunlinks,,c.tmp\nunlink,,\"d.tmp\""));
  EXPECT_TRUE(exists("a.tmp"));
  EXPECT_TRUE(exists("b.tmp"));
  EXPECT_TRUE(exists("c.tmp"));
  EXPECT_FALSE(exists("d.tmp")) << "the last line needs no line feed";
}

TEST_F(command_script_test, missing_fields_are_empty) {
  make_folder("gone");
  write("x.tmp", "x");
  ASSERT_TRUE(run("rmdir,gone\nunlink\nunlink,x.tmp\nmv,x.tmp\n"));
  EXPECT_FALSE(exists("gone"));
  EXPECT_TRUE(exists("x.tmp"));
}

TEST_F(command_script_test, a_read_only_file_stays_and_the_rest_are_deleted) {
  write("a.tmp", "a");
  write("b.tmp", "b");
  SetFileAttributesA("a.tmp", FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(run("unlink,,*.tmp\n"));
  EXPECT_TRUE(exists("a.tmp"));
  EXPECT_FALSE(exists("b.tmp"));
}

}  // namespace

}  // namespace corvid
