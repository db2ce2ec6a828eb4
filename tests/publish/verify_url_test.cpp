// verify --url against a real web server: nginx, started by a CTest fixture, serving
// a current tree and a mirror left with the release before.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <thread>

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

  tool_run stale = verify_url("moved.txt", {"-v"});
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
  // Each file with -v only; else one line for each location and kind.
  EXPECT_NE(missing.out.find(location("main/product") + ": 1 file(s) missing\n"), std::string::npos) << missing.out;
  EXPECT_EQ(missing.out.find("c.txt"), std::string::npos) << missing.out;
}

// Release 2 rolls out to the main host and two mirrors while a prober reads every
// location as players do, over and over: it must never meet an error.
TEST(publish_live, push_rolls_a_release_out_with_no_moment_of_errors_and_expect_names_the_release) {
  install_folder temp{"publish_live"};
  fs::path release = temp / "release", client = temp / "client", site = temp / "site";
  const std::string key = std::string(CORVID_TEST_SUPPORT) + "/test_release_key";
  for (int i = 0; i < 150; ++i) write_file(release / ("data/f" + std::to_string(i) + ".dat"), noise(4000, i));
  write_file(client / "talomar.exe", noise(5000, 5));
  std::vector<std::string> build = {"build",          "--release",      release.string(), "--client", client.string(),
                                    "--out",          site.string(),    "--info",         "info.txt", "--client-host",
                                    location("main"), "--product-host", location("main"), "--sign",   key};
  for (const char* mirror : {"m1", "m2"})
    build.insert(build.end(), {"--mirror", location(mirror) + "," + location(mirror)});
  tool_run built = run_publish(build);
  ASSERT_EQ(built.exit_code, 0) << built.err;
  EXPECT_NE(built.err.find("the main hosts " + location("main") + " and " + location("main") + " are left unused"),
            std::string::npos)
      << built.err;
  // m1 over rsync, through a remote shell that runs it here; the others as folders.
  fs::path shell = temp / "rsh.sh";
  write_file(shell, "#!/bin/sh\nshift\nexec \"$@\"\n");
  fs::permissions(shell, fs::perms::owner_all);
  std::vector<std::string> push = {
      "push", "--out", site.string(), "-q", "--rsh", shell.string(), "localhost:" + (served / "m1").string()};
  for (const char* target : {"m2", "main"}) push.push_back((served / target).string());
  ASSERT_EQ(run_publish(push).exit_code, 0);

  // Release 2 changes, adds and removes files; until it is pushed, --expect finds every
  // location serving release 1.
  write_file(release / "data/f1.dat", "changed");
  write_file(release / "data/new.dat", noise(9000, 99));
  fs::remove(release / "data/f2.dat");
  ASSERT_EQ(run_publish({"build", "--release", release.string(), "--client", client.string(), "--out", site.string(),
                         "--sign", key})
                .exit_code,
            0);
  tool_run stale = verify_url("main/info.txt", {"--expect", site.string()});
  EXPECT_EQ(stale.exit_code, 1);
  for (const char* tree : {"main", "m1", "m2"})
    EXPECT_NE(stale.out.find("http://" + location(tree) +
                             "/releases/1/product/cpatch.dat: serves another release "
                             "(release 1, "),
              std::string::npos)
        << stale.out;

  fs::path access_log = fs::path(CORVID_NGINX_DIR) / "logs/access.log";
  std::uintmax_t logged_before = fs::file_size(access_log);
  std::atomic<bool> pushed{false};
  int probes = 0, failed = 0;
  std::string first_failure;
  std::thread prober([&] {
    for (bool last = false; !last; ++probes) {
      last = pushed;
      tool_run probe = verify_url("main/info.txt", {"-q"});
      if (probe.exit_code != 0 && failed++ == 0) first_failure = probe.out + probe.err;
    }
  });
  tool_run rollout = run_publish(push);
  pushed = true;
  prober.join();
  EXPECT_EQ(rollout.exit_code, 0) << rollout.err;
  EXPECT_EQ(failed, 0) << first_failure;
  std::ifstream log(access_log);
  log.seekg(static_cast<std::streamoff>(logged_before));
  std::size_t requests = 0, errors = 0;
  // A release without a command script answers 404 for it, which the client takes as none.
  for (std::string line; std::getline(log, line); ++requests)
    errors += line.find("\" 200 ") == std::string::npos && line.find("/command.dat ") == std::string::npos;
  std::printf("rollout: %d probes, %zu requests, %zu errors\n", probes, requests, errors);
  EXPECT_EQ(errors, 0u);

  // An unchanged stream costs a mirror no second copy; a changed one of the same size does.
  for (const char* target : {"m1", "m2"}) {
    fs::path mirror = served / target / "releases";
    EXPECT_TRUE(fs::equivalent(mirror / "1/product/data/f3.dat", mirror / "2/product/data/f3.dat")) << target;
    EXPECT_FALSE(fs::equivalent(mirror / "1/product/gfl.mft", mirror / "2/product/gfl.mft")) << target;
  }
  tool_run live = verify_url("main/info.txt", {"--expect", site.string(), "--key", key + ".pub"});
  EXPECT_EQ(live.exit_code, 0) << live.out << live.err;
  EXPECT_NE(live.out.find(location("m2") + "/releases/2/product: release 2, manifest "), std::string::npos) << live.out;

  // With the key, a mirror whose signed document was changed by one bit is named.
  fs::path document = served / "m2/releases/2/product/csigned.dat";
  std::string bytes = read_file(document);
  bytes[bytes.find("files")] ^= 0x20;
  write_file(document, bytes);
  tool_run tampered = verify_url("main/info.txt", {"--key", key + ".pub"});
  EXPECT_EQ(tampered.exit_code, 1);
  EXPECT_NE(tampered.out.find("http://" + location("m2") + "/releases/2/product/csigned.dat: "), std::string::npos)
      << tampered.out;
  EXPECT_EQ(verify_url("main/info.txt").exit_code, 0);
}

}  // namespace corvid
