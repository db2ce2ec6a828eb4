// Measured, not asserted: a first publish of the largest release the client accepts,
// and a republish after one file changed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "publish_test_support.h"

namespace corvid {

namespace fs = std::filesystem;

TEST(publish_measure, first_publish_and_one_file_republish_of_7500_files) {
  install_folder temp{"publish"};
  fs::path release = temp / "release";
  for (int i = 0; i < 7500; ++i) {
    // Mostly small files, every fiftieth one of 256 KiB, in 75 folders.
    std::size_t size = i % 50 == 0 ? 256 * 1024 : 512 + (i * 37) % 4096;
    std::string name = "dir" + std::to_string(i % 75) + "/file" + std::to_string(i) + ".dat";
    write_file(release / name, noise(size / 2, i) + std::string(size - size / 2, static_cast<char>('a' + i % 26)));
  }
  std::vector<std::string> args = {"build",        "--release", release.string(), "--out", (temp / "site").string(),
                                   "--utc-offset", "0"};
  auto timed = [&args] {
    auto start = std::chrono::steady_clock::now();
    tool_run run = run_publish(args);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return std::make_pair(run, seconds);
  };
  auto [first, first_seconds] = timed();
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_NE(first.out.find("product: 7500 compressed, 0 reused, 0 removed"), std::string::npos) << first.out;

  write_file(release / "dir3/file3.dat", "changed");
  auto [again, again_seconds] = timed();
  ASSERT_EQ(again.exit_code, 0) << again.err;
  EXPECT_NE(again.out.find("product: 1 compressed, 7499 reused, 0 removed"), std::string::npos) << again.out;

  std::printf("first publish of 7500 files: %.2f s; republish with one changed file: %.2f s\n", first_seconds,
              again_seconds);
}

}  // namespace corvid
