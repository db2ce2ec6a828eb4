// verify --url against a real web server: nginx, started by a CTest fixture, serving
// a current tree and a mirror left with the release before.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "publish_test_support.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {
const fs::path served = fs::path(CORVID_NGINX_DIR) / "root";

std::string location(const std::string& path) {
  std::string port = read_file(fs::path(CORVID_NGINX_DIR) / "port");
  return "127.0.0.1:" + port.substr(0, port.find('\n')) + "/" + path;
}

tool_run verify_url(const std::string& info, std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"verify", "--url", location(info)};
  args.insert(args.end(), more.begin(), more.end());
  return run_publish(args);
}
}  // namespace

TEST(publish_live, verify_url_checks_every_location_players_use_and_names_the_stale_mirror) {
  install_folder temp{"publish_live"};
  fs::path release = temp / "release", client = temp / "client";
  write_file(release / "a.txt", "first");
  write_file(release / "data/b bin.dat", noise(300000, 4));
  write_file(client / "talomar.exe", noise(50000, 5));
  std::vector<std::string> build = {"build",         "--layout",       "flat",
                                    "--release",     release.string(), "--client",
                                    client.string(), "--out",          (served / "main").string()};
  ASSERT_EQ(run_publish(build).exit_code, 0);
  fs::copy(served / "main", served / "stale", fs::copy_options::recursive);
  write_file(release / "a.txt", "second");
  write_file(release / "c.txt", "new");
  ASSERT_EQ(run_publish(build).exit_code, 0);
  auto hosts = [](const std::string& tree) { return location(tree + "/client") + "\n" + location(tree + "/product"); };
  write_file(served / "good.txt", "Corvid Patch\n" + hosts("main") + "\n\n\n");
  write_file(served / "mirrors.txt", "Corvid Patch\nx\ny\n\naurl\n" + hosts("main") + "\n" + hosts("stale") + "\n\n\n");
  write_file(served / "moved.txt", "Corvid Patch\nx\ny\n\nuurl\n" + location("mirrors.txt") + "\n");

  tool_run good = verify_url("good.txt");
  EXPECT_EQ(good.exit_code, 0) << good.out << good.err;
  EXPECT_NE(good.out.find("no problem found"), std::string::npos) << good.out;

  tool_run stale = verify_url("moved.txt");
  EXPECT_EQ(stale.exit_code, 1) << stale.out << stale.err;
  std::string stale_product = "http://" + location("stale/product/");
  for (const std::string& expected :
       {"redirects players to " + location("mirrors.txt"),
        stale_product + "cpatch.dat: stale: its manifest is older than the one " + location("main/product"),
        stale_product + "a.txt: is ", stale_product + "c.txt: missing: HTTP 404"})
    EXPECT_NE(stale.out.find(expected), std::string::npos) << expected << "\n" << stale.out;
  EXPECT_EQ(stale.out.find("main/product/a.txt"), std::string::npos) << stale.out;

  tool_run quick = verify_url("mirrors.txt", {"--quick", "--json"});
  EXPECT_EQ(quick.exit_code, 1);
  nlohmann::json report = nlohmann::json::parse(quick.out);
  std::map<std::string, int> wrong;
  for (const auto& place : report["locations"]) wrong[place["location"]] = place["problems"];
  EXPECT_EQ(wrong, (std::map<std::string, int>{{location("main/client"), 0},
                                               {location("main/product"), 0},
                                               {location("stale/client"), 0},
                                               {location("stale/product"), 2}}));

  fs::remove(served / "main/product/c.txt");
  tool_run missing = verify_url("good.txt");
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.out.find(location("main/product/c.txt") + ": missing: HTTP 404"), std::string::npos) << missing.out;
}

}  // namespace corvid
