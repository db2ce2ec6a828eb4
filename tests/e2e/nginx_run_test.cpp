// A first install and a second run against nginx, the kind of web server operators
// use, started by the CTest fixture with its own config below the build folder.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/e2e/whole_run.h"
#include "tests/support/emulation.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

// The paths nginx logged, in order ("GET /tree/info.txt HTTP/1.1" gives /tree/info.txt).
std::vector<std::string> logged_paths(const fs::path& access_log) {
  std::vector<std::string> paths;
  std::istringstream lines(read_file(access_log));
  std::string line;
  while (std::getline(lines, line)) {
    std::size_t start = line.find("\"GET ");
    if (start == std::string::npos) continue;
    start += 5;
    paths.push_back(line.substr(start, line.find(' ', start) - start));
  }
  return paths;
}

using nginx_run = whole_run;

TEST_F(nginx_run, first_install_and_second_run) {
  fs::path nginx = CORVID_NGINX_DIR;
  // The emulated client is served one request per connection, as the test server serves it.
  std::string port = read_file(nginx / (under_emulation ? "port_one_request" : "port"));
  while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
  ASSERT_FALSE(port.empty()) << "the nginx fixture did not run";
  std::string location = "127.0.0.1:" + port + "/tree";

  add_release_file("Data/Maps/Town.MAP", std::string(5000, 'm') + "town", 1700000000);
  add_release_file("data/big.bin", incompressible_bytes(70000, 1), 1700000100);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000300);
  add_release_file("readme.txt", "Served by nginx.\n", 1700000400);
  publish_to(nginx / "root" / "tree", location);
  point_update_location_at(location + "/info.txt");
  fs::path access_log = nginx / "logs" / "access.log";

  std::size_t before = logged_paths(access_log).size();
  run_outcome first = run();
  EXPECT_EQ(first.exit_code, 0u);
  EXPECT_TRUE(first.boxes.empty()) << first.boxes.front().caption << ": " << first.boxes.front().text;
  EXPECT_TRUE(first.notes_seen);
  EXPECT_EQ(first.notes_text, "Served by nginx.\r\r\n");
  EXPECT_EQ(login_command_line(true), std::string("login.dll ") + launch_arguments);
  expect_release_installed();
  std::vector<std::string> paths = logged_paths(access_log);
  EXPECT_EQ(std::vector<std::string>(paths.begin() + static_cast<std::ptrdiff_t>(before), paths.end()),
            (std::vector<std::string>{"/tree/info.txt", "/tree/client/cpatch.dat", "/tree/product/command.dat",
                                      "/tree/product/cpatch.dat", "/tree/product/gfl.mft", "/tree/product/data/big.bin",
                                      "/tree/product/data/maps/town.map", "/tree/product/login.dll",
                                      "/tree/product/readme.txt"}));

  fs::remove(install_ / "login.dll.cmdline");
  before = paths.size();
  run_outcome second = run();
  EXPECT_EQ(second.exit_code, 0u);
  EXPECT_TRUE(second.boxes.empty());
  EXPECT_FALSE(second.notes_seen);
  EXPECT_EQ(login_command_line(true), std::string("login.dll ") + launch_arguments);
  paths = logged_paths(access_log);
  EXPECT_EQ(std::vector<std::string>(paths.begin() + static_cast<std::ptrdiff_t>(before), paths.end()),
            (std::vector<std::string>{"/tree/info.txt", "/tree/client/cpatch.dat", "/tree/product/command.dat",
                                      "/tree/product/cpatch.dat"}));
  expect_release_installed();
  EXPECT_FALSE(install_.exists("cpatch.dat"));
}

}  // namespace

}  // namespace corvid
