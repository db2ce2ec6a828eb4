// The quit message met inside a check or a fetch ends the process through the shared
// clean-up. Each case runs in a child process; the folder it works in has a fixed name
// so that this process can look at what the child left.

#include <direct.h>
#include <windows.h>

#include <string>

#include "core/scratch_files.h"
#include "core/update_state.h"
#include "net/internet_session.h"
#include "patch/fetch.h"
#include "patch/verification.h"
#include "tests/patch/patch_fixture.h"
#include "tests/support/http_server.h"

namespace corvid {

namespace {

class quit_path_test : public ::testing::Test {
 protected:
  quit_path_test() {
    folder.write("cpatch.dat", "scratch");
    folder.write("command.dat", "scratch");
  }

  install_folder folder = install_folder::shared_with_death_tests("patch_quit");
};

TEST_F(quit_path_test, a_quit_during_the_manifest_check_ends_with_its_code) {
  std::string text = "Corvid Patch\n2\n1,1,0,0,a.dat\n1,1,0,0,b.dat\n";
  std::string bytes = packed(text);
  folder.write("gfl.mft", bytes);
  EXPECT_EXIT(
      {
        _chdir(folder.path().string().c_str());
        file_entry manifest;
        manifest.name.assign("gfl.mft");
        manifest.size = static_cast<std::uint32_t>(text.size());
        manifest.packed_size = static_cast<std::uint32_t>(bytes.size());
        PostQuitMessage(5);
        check_product_files(manifest);
      },
      ::testing::ExitedWithCode(5), "");
  EXPECT_FALSE(folder.exists("cpatch.dat"));
  EXPECT_FALSE(folder.exists("command.dat"));
  EXPECT_TRUE(folder.exists("gfl.mft"));
}

TEST_F(quit_path_test, a_quit_during_a_fetch_leaves_the_installed_copy) {
  test_http_server server;
  std::string content = varied_bytes(30000);
  std::string body = packed(content);
  ASSERT_GT(body.size(), 1024u) << "the pump runs after a full chunk";
  server.serve("/big.dat", body);
  folder.write("big.dat", "old");
  EXPECT_EXIT(
      {
        _chdir(folder.path().string().c_str());
        open_internet_session();
        file_entry entry;
        entry.name.assign("big.dat");
        entry.size = static_cast<std::uint32_t>(content.size());
        entry.packed_size = static_cast<std::uint32_t>(body.size());
        PostQuitMessage(6);
        fetch_file(server.url("/big.dat").c_str(), entry, nullptr);
      },
      ::testing::ExitedWithCode(6), "");
  EXPECT_EQ(folder.read("big.dat"), "old");
  EXPECT_FALSE(folder.exists("cpatch.dat"));
  EXPECT_FALSE(folder.exists(scratch_copy_name_at(0).c_str())) << "the half-written copy goes too";
}

}  // namespace

}  // namespace corvid
