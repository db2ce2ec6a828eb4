// Whole runs of corvid-publish on real folders. Published trees are read back with
// zlib itself and the client-rule reader.
#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "publish/list_format.h"
#include "publish/platform.h"
#include "publish/release_folders.h"
#include "publish_test_support.h"
#include "tests/support/forged_crc.h"

namespace corvid {

namespace fs = std::filesystem;
using namespace corvid::publish;

namespace {
constexpr long long release_time = 1700000000;  // 2023-11-14 22:13:20 UTC
constexpr long offset = 3600;

std::string inflated(const std::string& packed, std::size_t size) {
  std::string out(size + 1, '\0');
  uLongf length = static_cast<uLongf>(out.size());
  int status = uncompress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(packed.data()),
                          static_cast<uLong>(packed.size()));
  EXPECT_EQ(status, Z_OK);
  out.resize(length);
  return out;
}

std::uint32_t crc_of(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::vector<file_entry> read_manifest(const fs::path& product) {
  std::string header = read_file(product / "cpatch.dat");
  file_entry manifest;
  EXPECT_EQ(header.size(), 19u);
  EXPECT_TRUE(decode_patch_header(header, manifest));
  std::string packed = read_file(product / "gfl.mft");
  EXPECT_EQ(packed.size(), manifest.packed_size);
  std::string text = inflated(packed, manifest.size);
  EXPECT_EQ(text.size(), manifest.size);
  EXPECT_EQ(crc_of(text), manifest.crc32);
  std::vector<file_entry> entries;
  std::string problem;
  EXPECT_TRUE(read_list_text(text, entries, problem)) << problem;
  return entries;
}

// Every listed file against the release: size, CRC-32, time, and the stream at the
// lower-cased name inflating to the file's bytes.
void expect_tree_matches(const fs::path& tree, const fs::path& release, const std::vector<file_entry>& entries,
                         const std::map<std::string, long long>& times) {
  ASSERT_EQ(entries.size(), times.size());
  for (const file_entry& entry : entries) {
    std::string name(entry.name.view());
    SCOPED_TRACE(name);
    ASSERT_TRUE(times.count(name));
    std::string bytes = read_file(release / name);
    EXPECT_EQ(entry.size, bytes.size());
    EXPECT_EQ(entry.crc32, crc_of(bytes));
    EXPECT_EQ(entry.time, times.at(name) + offset);
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string packed = read_file(tree / lower);
    EXPECT_EQ(packed.size(), entry.packed_size);
    EXPECT_EQ(inflated(packed, entry.size), bytes);
  }
}

class publish_run : public ::testing::Test {
 protected:
  install_folder temp{"publish"};
  fs::path release = temp / "release";
  fs::path out = temp / "site";

  void add(const std::string& name, const std::string& bytes, long long time = release_time) {
    write_file(release / name, bytes);
    set_modified(release / name, time);
  }

  // Today's layout unless a test empties it.
  std::vector<std::string> layout = {"--layout", "flat"};

  std::vector<std::string> build_args(const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"build",      "--release",    release.string(),      "--out",
                                     out.string(), "--utc-offset", std::to_string(offset)};
    args.insert(args.end(), layout.begin(), layout.end());
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  tool_run build(const std::vector<std::string>& more = {}) { return run_publish(build_args(more)); }

  void publish_small_release() {
    add("readme.txt", "Welcome.\n");
    add("data/map.dat", noise(5000, 1));
    tool_run run = build();
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
};
}  // namespace

TEST_F(publish_run, round_trip_of_a_release_with_folders_commas_an_empty_and_a_large_file) {
  std::map<std::string, long long> times = {{"Readme.txt", release_time},
                                            {"a,b.dat", release_time + 1},
                                            {"empty.cfg", release_time + 2},
                                            {"Data/Sub/big.bin", release_time + 3},
                                            {"data2/x y/plain.txt", 86400}};
  add("Readme.txt", "Read me.\r\n", times["Readme.txt"]);
  add("a,b.dat", "comma", times["a,b.dat"]);
  add("empty.cfg", "", times["empty.cfg"]);
  add("Data/Sub/big.bin", noise(3 * 1024 * 1024, 7), times["Data/Sub/big.bin"]);
  add("data2/x y/plain.txt", std::string(100000, 'z'), times["data2/x y/plain.txt"]);
  fs::path client = temp / "client";
  write_file(client / "talomar.exe", noise(20000, 3));
  set_modified(client / "talomar.exe", release_time);

  tool_run run = build({"--client", client.string()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("product: 5 compressed, 0 reused, 0 removed"), std::string::npos) << run.out;

  std::vector<file_entry> entries = read_manifest(out / "product");
  expect_tree_matches(out / "product", release, entries, times);
  // Sorted by lower-cased name; only the name with a comma is quoted.
  std::string text = inflated(read_file(out / "product" / "gfl.mft"), 1000);
  EXPECT_EQ(text.substr(0, 17), "Corvid Patch\n5\n5,");
  EXPECT_NE(text.find(",\"a,b.dat\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find(",Data/Sub/big.bin\n"), std::string::npos) << text;
  EXPECT_LT(text.find("a,b.dat"), text.find("Data/Sub"));

  std::string list = read_file(out / "client" / "cpatch.dat");
  std::vector<file_entry> client_entries;
  std::string problem;
  ASSERT_TRUE(read_list_text(list, client_entries, problem)) << problem;
  expect_tree_matches(out / "client", client, client_entries, {{"talomar.exe", release_time}});
  EXPECT_EQ(list.substr(0, 15), "Corvid Patch\n1\n");

  tool_run verify = run_publish({"verify", "--out", out.string()});
  EXPECT_EQ(verify.exit_code, 0) << verify.out;
}

TEST_F(publish_run, list_times_use_the_machines_standard_offset_by_default) {
  add("a.txt", "a", release_time);
  tool_run run =
      run_publish({"build", "--release", release.string(), "--out", out.string(), "--layout", "flat"}, "TZ=EST5EDT");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  // Standard time five hours west, whatever the season of the file's date.
  EXPECT_EQ(read_manifest(out / "product").at(0).time, release_time - 5 * 3600);
  // The same files from a machine in another zone: every one is touched.
  run = run_publish({"build", "--release", release.string(), "--out", out.string()}, "TZ=JST-9");
  EXPECT_NE(run.err.find("warning: every file is touched"), std::string::npos) << run.err;
}

TEST_F(publish_run, commands_and_server_information_are_published_as_given) {
  add("a.txt", "a");
  fs::path script = temp / "commands.txt";
  const std::string commands = "Corvid Patch\r\n; retire the old maps\r\nunlink,maps/,*.old\r\nrmdir,maps/\r\n";
  write_file(script, commands);
  tool_run run = build({"--commands", script.string(), "--info", "info.txt", "--client-host", "127.0.0.1:8080/client",
                        "--product-host", "127.0.0.1:8080/product", "--mirror",
                        "m1.example.com/client,m1.example.com/product", "--max-patch-mb", "200"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(read_file(out / "product" / "command.dat"), commands);
  EXPECT_EQ(read_file(out / "info.txt"),
            "Corvid Patch\n127.0.0.1:8080/client\n127.0.0.1:8080/product\n\naurl\n"
            "m1.example.com/client\nm1.example.com/product\n\n\nmps\n200\n");

  run = build({"--drop", "commands", "--info", "info.txt", "--client-host", "c", "--product-host", "p", "--down",
               "Closed for maintenance.\nBack at 18:00."});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(read_file(out / "info.txt"), "Corvid Patch\nc\np\n\ndown\nClosed for maintenance.\nBack at 18:00.\n");
  EXPECT_FALSE(fs::exists(out / "product" / "command.dat"));
  EXPECT_EQ(run_publish({"verify", "--out", out.string()}).exit_code, 0);

  auto before = snapshot(out);
  std::vector<std::string> hosts = {"--client-host", "c", "--product-host", "p"};
  std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"--info", "Info.txt"}, "refused: --info \"Info.txt\": the client lower-cases"},
      {{"--info", "product"}, "refused: --info \"product\": the tree's folders"},
      {{"--info", "i.txt", "--redirect", "http://x/i.txt"}, "refused: --redirect \"http://x/i.txt\": "},
      {{"--info", "i.txt", "--down", "x", "--max-patch-mb", "5"}, "refused: the server information file holds one"}};
  for (auto [options, expected] : refused) {
    options.insert(options.end(), hosts.begin(), hosts.end());
    tool_run bad = build(options);
    EXPECT_EQ(bad.exit_code, 1) << expected;
    EXPECT_NE(bad.err.find(expected), std::string::npos) << bad.err;
  }
  EXPECT_EQ(snapshot(out), before);
}

TEST_F(publish_run, a_refused_command_script_names_its_file_and_lines_and_publishes_nothing) {
  publish_small_release();
  auto before = snapshot(out);
  fs::path script = temp / "commands.txt";
  write_file(script, "Corvid Patch\nunlink,data/,*.tmp\nmv,a,../a\ndelete,b\nunlink,,*.TXT\n");
  tool_run run = build({"--commands", script.string()});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find(script.string() + ": line 3: a path uses \"..\""), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(script.string() + ": line 4: unknown command \"delete\""), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(script.string() + ": line 5: unlink would delete readme.txt, which this release installs"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("line 2"), std::string::npos) << run.err;
  EXPECT_EQ(snapshot(out), before);

  run = build({"--commands", (temp / "missing.txt").string()});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("cannot read " + (temp / "missing.txt").string() + ": No such file or directory"),
            std::string::npos)
      << run.err;
}

TEST_F(publish_run, each_file_the_client_could_not_install_is_refused_and_the_earlier_tree_stays) {
  publish_small_release();
  auto before = snapshot(out);
  struct bad_release {
    std::string name;
    std::string expect;
  };
  std::vector<bad_release> cases = {
      {"d/" + std::string(254, 'n'), "the name has 256 characters"},
      {"say\"hi\".txt", "double quote"},
      {"caf\xc3\xa9.txt", "outside printable ASCII"},
      {"tab\tname", "outside printable ASCII"},
      {"data/con.txt", "device name"},
      {"time:12.txt", "':'"},
      {"dots./x", "ends in a space or a dot"},
      {"gfl.mft", "the client uses for its own files"},
      {"CSigned.dat", "the client uses for its own files"},
      {"data/CFetch2.dat", "the client uses for its own files"},
      {"docs/a#b.txt", "'#', which the client's download URL cannot carry"},
      {"100%.txt", "'%', which the client's download URL cannot carry"},
  };
  for (const bad_release& bad : cases) {
    SCOPED_TRACE(bad.name);
    fs::remove_all(release);
    add("fine.txt", "ok");
    add(bad.name, "x");
    tool_run run = build();
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find(display_path(release / bad.name) + ": "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(bad.expect), std::string::npos) << run.err;
    EXPECT_EQ(snapshot(out), before);
    EXPECT_FALSE(fs::exists(temp / "site.staging"));
  }
}

TEST_F(publish_run, names_equal_ignoring_case_too_many_files_and_huge_files_are_refused) {
  publish_small_release();
  auto before = snapshot(out);

  fs::remove_all(release);
  add("Data/Map.dat", "1");
  add("data/map.dat", "2");
  tool_run run = build();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("differs only in letter case"), std::string::npos) << run.err;

  fs::remove_all(release);
  add("maps", "a file");
  add("MAPS/one.map", "a file in a folder of the same name");
  run = build();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("also the file"), std::string::npos) << run.err;

  fs::remove_all(release);
  for (int i = 0; i < 7501; ++i) write_file(release / ("f" + std::to_string(i)), "");
  run = build();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("holds 7501 files; the client lists at most 7500"), std::string::npos) << run.err;

  fs::remove_all(release);
  add("small.txt", "s");
  write_file(release / "huge.pak", "");
  fs::resize_file(release / "huge.pak", 0x100000000ull);  // sparse: nothing is written
  run = build();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find((release / "huge.pak").string() + ": is 4 GiB or larger"), std::string::npos) << run.err;

  fs::remove_all(release);
  fs::create_directories(release / "only/empty/folders");
  run = build();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("holds no files"), std::string::npos) << run.err;

  EXPECT_EQ(snapshot(out), before);
}

TEST_F(publish_run, an_out_folder_that_is_not_a_published_tree_is_left_alone) {
  add("a.txt", "a");
  write_file(out / "index.html", "someone's site");
  tool_run run = build();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_FALSE(fs::exists(temp / "site.lock"));
  EXPECT_NE(run.err.find("holds files but no published tree"), std::string::npos) << run.err;
  EXPECT_EQ(read_file(out / "index.html"), "someone's site");

  run = run_publish({"build", "--release", release.string(), "--out", (release / "site").string()});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("must not hold one another"), std::string::npos) << run.err;
  run = run_publish({"build", "--release", release.string(), "--out", (temp / "none/site").string()});
  EXPECT_NE(run.err.find("the folder " + (temp / "none").string() + ", which is to hold --out, does not exist"),
            std::string::npos)
      << run.err;
}

TEST_F(publish_run, republishing_compresses_only_what_changed_and_counts_what_went) {
  add("a.txt", "first");
  add("b.txt", "second");
  add("sub/c.bin", noise(70000, 2));
  add("gone.txt", "soon removed");
  ASSERT_EQ(build().exit_code, 0);
  std::string header = read_file(out / "product" / "cpatch.dat");

  tool_run same = build();
  ASSERT_EQ(same.exit_code, 0) << same.err;
  EXPECT_NE(same.out.find("product: 0 compressed, 4 reused, 0 removed"), std::string::npos) << same.out;
  // An unchanged manifest keeps its time, so clients keep their stored copy.
  EXPECT_EQ(read_file(out / "product" / "cpatch.dat"), header);

  add("b.txt", "SECOND", release_time + 60);
  fs::remove(release / "gone.txt");
  tool_run changed = build();
  ASSERT_EQ(changed.exit_code, 0) << changed.err;
  EXPECT_NE(changed.out.find("product: 1 compressed, 2 reused, 1 removed"), std::string::npos) << changed.out;
  file_entry old_header, new_header;
  ASSERT_TRUE(decode_patch_header(header, old_header));
  ASSERT_TRUE(decode_patch_header(read_file(out / "product" / "cpatch.dat"), new_header));
  EXPECT_GT(new_header.time, old_header.time);
  EXPECT_FALSE(fs::exists(out / "product" / "gone.txt"));
  expect_tree_matches(out / "product", release, read_manifest(out / "product"),
                      {{"a.txt", release_time}, {"b.txt", release_time + 60}, {"sub/c.bin", release_time}});

  // Same size and time but other bytes: the CRC-32 tells, and the file is compressed.
  add("a.txt", "FIRST");
  tool_run sneaky = build();
  EXPECT_NE(sneaky.out.find("product: 1 compressed, 2 reused, 0 removed"), std::string::npos) << sneaky.out;
  EXPECT_EQ(inflated(read_file(out / "product" / "a.txt"), 5), "FIRST");
}

TEST_F(publish_run, an_interrupted_publish_leaves_the_earlier_tree_and_cleans_up_or_is_cleaned_up) {
  publish_small_release();
  auto before = snapshot(out);
  add("zz/big.bin", noise(48 * 1024 * 1024, 5));

  // Ctrl-C: the run removes its unfinished tree itself and says so.
  background_publish stopped(build_args({"-j", "1"}));
  ASSERT_TRUE(wait_for(temp / "site.staging" / "product" / "zz"));
  stopped.signal(SIGINT);
  int status = stopped.wait();
  ASSERT_TRUE(WIFEXITED(status)) << "the publish ended before it could be interrupted";
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_NE(stopped.err().find("interrupted; removed the unfinished tree " + (temp / "site.staging").string()),
            std::string::npos)
      << stopped.err();
  EXPECT_FALSE(fs::exists(temp / "site.staging"));
  EXPECT_EQ(snapshot(out), before);

  // Killed outright: the next run finds what it left and removes it.
  background_publish killed(build_args({"-j", "1"}));
  ASSERT_TRUE(wait_for(temp / "site.staging" / "product" / "zz"));
  killed.signal(SIGKILL);
  ASSERT_TRUE(WIFSIGNALED(killed.wait()));
  EXPECT_EQ(snapshot(out), before);
  tool_run next = build();
  ASSERT_EQ(next.exit_code, 0) << next.err;
  EXPECT_NE(next.out.find("left by an interrupted publish"), std::string::npos) << next.out;
  EXPECT_FALSE(fs::exists(temp / "site.staging"));
  EXPECT_EQ(run_publish({"verify", "--out", out.string()}).exit_code, 0);
}

TEST_F(publish_run, a_second_publish_is_refused_while_one_runs_and_a_file_rewritten_meanwhile_fails_the_first) {
  publish_small_release();
  auto before = snapshot(out);
  add("big.bin", noise(48 * 1024 * 1024, 6));
  add("zz.txt", "the first words");

  background_publish first(build_args({"-j", "1"}));
  ASSERT_TRUE(wait_for(temp / "site.staging" / "product"));
  tool_run second = build();
  EXPECT_EQ(second.exit_code, 1);
  EXPECT_NE(second.err.find("another publish into " + out.string() + " is running (process " +
                            std::to_string(first.pid()) + ", holding " + (temp / "site.lock").string() + ")"),
            std::string::npos)
      << second.err;
  EXPECT_TRUE(fs::exists(temp / "site.staging")) << "only the holder of the lock may clean up";

  // Same size, new bytes, written in place while the large file is compressed first.
  {
    std::fstream in_place(release / "zz.txt", std::ios::in | std::ios::out | std::ios::binary);
    in_place.write("THE FIRST WORDS", 15);
  }
  int status = first.wait();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(first.err().find((release / "zz.txt").string() + " changed while it was being published"),
            std::string::npos)
      << first.err();
  EXPECT_EQ(snapshot(out), before);
  EXPECT_FALSE(fs::exists(temp / "site.staging"));
}

TEST_F(publish_run, readers_find_every_file_and_one_whole_tree_while_trees_are_switched) {
  add("a.txt", "a");
  add("data/map.dat", noise(200000, 8));
  ASSERT_EQ(build().exit_code, 0);
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0}, missing{0}, mixed{0};
  std::thread reader([&] {
    std::string header_path = (out / "product" / "cpatch.dat").string();
    while (!stop) {
      int header = open(header_path.c_str(), O_RDONLY);
      if (header < 0) ++missing;
      if (header >= 0) close(header);
      // One tree held open: its header must describe its own manifest.
      int tree = open(out.c_str(), O_RDONLY | O_DIRECTORY);
      if (tree < 0) {
        ++missing;
        continue;
      }
      int header_file = openat(tree, "product/cpatch.dat", O_RDONLY);
      int manifest_file = openat(tree, "product/gfl.mft", O_RDONLY);
      unsigned char bytes[19] = {};
      struct stat manifest_status {};
      if (header_file < 0 || manifest_file < 0 || read(header_file, bytes, 19) != 19 ||
          fstat(manifest_file, &manifest_status) != 0) {
        ++missing;
      } else {
        std::uint32_t packed = bytes[7] | bytes[8] << 8 | bytes[9] << 16 | static_cast<std::uint32_t>(bytes[10]) << 24;
        if (packed != manifest_status.st_size) ++mixed;
      }
      for (int file : {header_file, manifest_file, tree}) {
        if (file >= 0) close(file);
      }
      ++reads;
    }
  });
  for (int i = 0; i < 20; ++i) {
    add("a.txt", std::string(static_cast<std::size_t>(i + 2), 'a'));
    tool_run run = build();
    EXPECT_EQ(run.exit_code, 0) << run.err;
  }
  stop = true;
  reader.join();
  EXPECT_GT(reads, 100);
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(inflated(read_file(out / "product" / "a.txt"), 21), std::string(21, 'a'));
  EXPECT_EQ(inflated(read_file(temp / "site.previous" / "product" / "a.txt"), 20), std::string(20, 'a'));
}

TEST_F(publish_run, an_out_that_is_a_link_is_published_through_and_links_out_of_the_release_are_named) {
  add("a.txt", "a");
  fs::create_directory_symlink("/etc", release / "etc");
  fs::create_symlink("/etc/hostname", release / "host.txt");
  fs::create_directories(temp / "served");
  fs::create_directory_symlink(temp / "served", out);
  tool_run run = build({"--exclude", "etc"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("warning: " + (release / "host.txt").string() + " is a link to /etc/hostname, outside"),
            std::string::npos)
      << run.err;
  ASSERT_EQ(build({"--exclude", "etc"}).exit_code, 0);
  EXPECT_TRUE(fs::is_symlink(out));
  EXPECT_EQ(read_manifest(temp / "served" / "product").size(), 2u);
  EXPECT_EQ(run_publish({"verify", "--out", out.string()}).exit_code, 0);

  fs::remove(out);
  fs::create_directory_symlink(temp / "nowhere", out);
  run = build({"--exclude", "etc"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("is a link to " + (temp / "nowhere").string() + ", which is not a folder"), std::string::npos)
      << run.err;
}

TEST_F(publish_run, a_dry_run_lists_every_change_writes_nothing_and_json_and_jobs_agree_with_it) {
  add("same.txt", "unchanged");
  add("touched.txt", "only its time moves");
  add("changed.txt", "before");
  add("gone.txt", "removed next");
  add("big/one.bin", noise(3000000, 9));
  add("big/two.bin", noise(2000000, 10));
  ASSERT_EQ(build({"-j", "1"}).exit_code, 0);
  fs::path out4 = temp / "site4";
  ASSERT_EQ(run_publish({"build", "--release", release.string(), "--out", out4.string(), "--utc-offset",
                         std::to_string(offset), "-j", "4", "--layout", "flat"})
                .exit_code,
            0);
  auto one_job = snapshot(out), four_jobs = snapshot(out4);
  std::string header = read_file(out / "product" / "cpatch.dat");
  // Only the manifest's time, the time of publishing, may differ.
  EXPECT_EQ(read_file(out4 / "product" / "cpatch.dat").substr(0, 15), header.substr(0, 15));
  std::erase_if(one_job, [](const auto& file) { return file.first == "product/cpatch.dat"; });
  std::erase_if(four_jobs, [](const auto& file) { return file.first == "product/cpatch.dat"; });
  EXPECT_EQ(one_job, four_jobs);

  add("touched.txt", "only its time moves", release_time + 30);
  add("changed.txt", "after!");
  fs::remove(release / "gone.txt");
  add("new.txt", "new");
  add("old.bak", "left out");
  auto before = snapshot(temp.path());
  tool_run dry = build({"--dry-run", "--json", "--exclude", "*.bak"});
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_EQ(snapshot(temp.path()), before);
  nlohmann::json report = nlohmann::json::parse(dry.out);
  std::map<std::string, std::string> changes;
  for (const auto& change : report["changes"]) changes[change["name"]] = change["change"];
  EXPECT_EQ(changes, (std::map<std::string, std::string>{{"big/one.bin", "reused"},
                                                         {"big/two.bin", "reused"},
                                                         {"changed.txt", "changed"},
                                                         {"gone.txt", "removed"},
                                                         {"new.txt", "added"},
                                                         {"same.txt", "reused"},
                                                         {"touched.txt", "touched"}}));
  EXPECT_EQ(report["published"], false);
  EXPECT_EQ(report["trees"]["product"]["compressed"], 2);
  EXPECT_EQ(report["trees"]["product"]["reused"], 4);
  EXPECT_EQ(report["trees"]["product"]["removed"], 1);
  EXPECT_LT(report["download_bytes"]["current_player"], 1000);
  EXPECT_GT(report["download_bytes"]["new_player"], 5000000);

  // On a terminal, and only there, a line tells how far it has got.
  std::string on_terminal = "script -qec '" + std::string(CORVID_PUBLISH_EXE) + " build --dry-run --release " +
                            release.string() + " --out " + out.string() + "' /dev/null >" + (temp / "tty").string();
  ASSERT_EQ(std::system(on_terminal.c_str()), 0);
  EXPECT_NE(read_file(temp / "tty").find(" MiB of "), std::string::npos) << read_file(temp / "tty");
  tool_run text = build({"--dry-run", "--exclude", "*.bak"});
  EXPECT_EQ(text.err.find(" MiB of "), std::string::npos) << text.err;
  EXPECT_NE(text.out.find("touched product/touched.txt (19 bytes, "), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("product/same.txt"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("dry run: nothing was written"), std::string::npos) << text.out;
  EXPECT_NE(text.err.find("warning: 1 file(s) left the release, but stay on players' disks"), std::string::npos)
      << text.err;
  // A command script quiets the warning only when it deletes what left.
  write_file(temp / "script.txt", "Corvid Patch\nunlink,,*.tmp\n");
  text = build({"--dry-run", "--exclude", "*.bak", "--commands", (temp / "script.txt").string()});
  EXPECT_NE(text.err.find("stay on players' disks: the command script does not delete gone.txt"), std::string::npos)
      << text.err;
  write_file(temp / "script.txt", "Corvid Patch\nunlink,,GONE.*\n");
  text = build({"--dry-run", "--exclude", "*.bak", "--commands", (temp / "script.txt").string()});
  EXPECT_EQ(text.err.find("stay on players' disks"), std::string::npos) << text.err;

  tool_run real = build({"--json", "--exclude", "*.bak"});
  ASSERT_EQ(real.exit_code, 0) << real.err;
  nlohmann::json published = nlohmann::json::parse(real.out);
  EXPECT_EQ(published["published"], true);
  EXPECT_EQ(published["download_bytes"], report["download_bytes"]);
  EXPECT_EQ(read_manifest(out / "product").size(), 6u);
  nlohmann::json verified = nlohmann::json::parse(run_publish({"verify", "--out", out.string(), "--json"}).out);
  EXPECT_EQ(verified["ok"], true);
  EXPECT_EQ(verified["problems"], nlohmann::json::array());

  write_file(out / "product" / "new.txt", "broken");
  tool_run broken = run_publish({"verify", "--out", out.string(), "--json"});
  EXPECT_EQ(broken.exit_code, 1);
  verified = nlohmann::json::parse(broken.out);
  ASSERT_EQ(verified["problems"].size(), 1u);
  EXPECT_EQ(verified["problems"][0]["where"], (out / "product" / "new.txt").string());
}

TEST_F(publish_run, a_tree_moved_aside_by_an_interrupted_swap_is_put_back) {
  publish_small_release();
  auto before = snapshot(out);
  fs::rename(out, temp / "site.previous");
  fs::remove_all(release);
  add("say\"no\"", "a refused release");
  tool_run run = build();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.out.find("put back the earlier tree"), std::string::npos) << run.out;
  EXPECT_EQ(snapshot(out), before);
  EXPECT_FALSE(fs::exists(temp / "site.previous"));
}

TEST_F(publish_run, verify_finds_broken_streams_and_a_header_that_no_longer_matches) {
  publish_small_release();
  fs::path product = out / "product";

  std::string map = read_file(product / "data/map.dat");
  write_file(product / "data/map.dat", map.substr(0, map.size() - 1));
  // Counted by tree and kind; each file only with -v.
  tool_run run = run_publish({"verify", "--out", out.string()});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, product.string() + ": 1 file(s) that are not the stream listed\n");
  run = run_publish({"verify", "--out", out.string(), "-v"});
  EXPECT_NE(run.out.find((product / "data/map.dat").string() + ": is " + std::to_string(map.size() - 1) +
                         " bytes; the list says " + std::to_string(map.size())),
            std::string::npos)
      << run.out;
  write_file(product / "data/map.dat", map);

  // A stream of the right length that inflates to one byte too few.
  std::string readme = read_file(product / "readme.txt");
  std::string shorter(readme.size() + 64, '\0');
  uLongf length = static_cast<uLongf>(shorter.size());
  compress2(reinterpret_cast<Bytef*>(shorter.data()), &length, reinterpret_cast<const Bytef*>("Welcome."), 8, 0);
  shorter.resize(length);
  std::vector<file_entry> entries = read_manifest(product);
  for (file_entry& entry : entries) {
    if (entry.name == "readme.txt") entry.packed_size = static_cast<std::uint32_t>(shorter.size());
  }
  std::string text = format_list_text(entries);
  std::string packed(text.size() + 64, '\0');
  length = static_cast<uLongf>(packed.size());
  compress(reinterpret_cast<Bytef*>(packed.data()), &length, reinterpret_cast<const Bytef*>(text.data()),
           static_cast<uLong>(text.size()));
  packed.resize(length);
  write_file(product / "gfl.mft", packed);
  write_file(product / "readme.txt", shorter);
  file_entry manifest{"gfl.mft", static_cast<std::uint32_t>(text.size()), static_cast<std::uint32_t>(packed.size()),
                      crc_of(text), 1};
  patch_header_bytes header = encode_patch_header(manifest);
  write_file(product / "cpatch.dat", std::string(header.begin(), header.end()));
  run = run_publish({"verify", "--out", out.string(), "-v"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.out.find((product / "readme.txt").string() + ": inflates to 8 bytes; the list says 9"),
            std::string::npos)
      << run.out;

  // The header of another manifest.
  header[7] = static_cast<unsigned char>(header[7] + 1);
  write_file(product / "cpatch.dat", std::string(header.begin(), header.end()));
  run = run_publish({"verify", "--out", out.string()});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.out.find((product / "cpatch.dat").string() + ": gives the manifest's packed size as"),
            std::string::npos)
      << run.out;
}

TEST_F(publish_run, releases_get_folders_of_their_own_and_a_republish_keeps_what_is_live) {
  layout.clear();
  add("a.txt", "first");
  add("big.bin", noise(200000, 2));
  fs::path client = temp / "client", script = temp / "commands.txt";
  write_file(client / "talomar.exe", "exe");
  write_file(script, "Corvid Patch\nunlink,,old.txt\n");
  add(".git/config", "x");
  add("sub/.DS_Store", "x");
  tool_run first = build({"--client", client.string(), "--commands", script.string(), "--info", "info.txt",
                          "--client-host", "h/site", "--product-host", "h/site"});
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_NE(first.err.find("warning: left out 2 item(s) of " + release.string() + " named .git"), std::string::npos)
      << first.err;
  EXPECT_EQ(read_manifest(out / "releases/1/product").size(), 2u);
  write_file(out / "robots.txt", "by hand");
  add("a.txt", "second");

  // Given no server options and no script, the run takes the kept ones and says so.
  tool_run run = build({"--client", client.string(), "--json"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  nlohmann::json report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["serial"], 2);
  EXPECT_NE(report["reused_options"].dump().find("--info info.txt"), std::string::npos) << run.out;
  EXPECT_EQ(read_file(out / "info.txt"), "Corvid Patch\nh/site/releases/2/client\nh/site/releases/2/product\n\n\n");
  fs::path one = out / "releases/1/product", two = out / "releases/2/product";
  EXPECT_TRUE(fs::equivalent(one / "big.bin", two / "big.bin"));
  EXPECT_NE(read_file(one / "a.txt"), read_file(two / "a.txt"));
  EXPECT_EQ(read_file(two / "command.dat"), read_file(script));
  EXPECT_EQ(read_file(out / "robots.txt"), "by hand");
  EXPECT_FALSE(fs::exists(temp / "site.lock"));
  EXPECT_EQ(run_publish({"verify", "--out", out.string()}).exit_code, 0);

  // Readable by a web server running as another user, whatever the umask.
  ASSERT_EQ(run_publish(build_args({"--client", client.string()}), "umask 077;").exit_code, 0);
  for (const fs::path& path : {out / "info.txt", out / "releases/3/product/a.txt"})
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_read, fs::perms::others_read) << path;
  for (const fs::path& path : {out / "releases", out / "releases/3/client"})
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::others_exec, fs::perms::others_exec) << path;

  // Leaving out the client tree would drop it; nothing changes.
  auto before = snapshot(out);
  run = build();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("would drop the client tree"), std::string::npos) << run.err;
  EXPECT_EQ(snapshot(out), before);

  ASSERT_EQ(build({"--client", client.string(), "--keep", "2"}).exit_code, 0);
  ASSERT_EQ(build({"--client", client.string(), "--drop", "commands"}).exit_code, 0);
  EXPECT_EQ(release_serials(out), (std::vector<unsigned>{4, 5}));
  EXPECT_FALSE(fs::exists(out / "releases/5/product/command.dat"));
  EXPECT_NE(read_file(out / "info.txt").find("releases/5/product"), std::string::npos);
  // A pointer that cannot be replaced says why, and leaves nothing half-written beside it.
  std::string error;
  write_file(temp / "taken/by_a_folder", "x");
  EXPECT_FALSE(replace_file(temp / "taken", "text", error));
  EXPECT_EQ(error, "cannot replace " + (temp / "taken").string() + ": " +
                       std::make_error_code(std::errc::is_a_directory).message());
  EXPECT_FALSE(fs::exists(temp / ".taken.new"));

  // push: into a folder, and over rsync through a remote shell that runs it here.
  fs::path shell = temp / "rsh.sh";
  write_file(shell, "#!/bin/sh\nshift\nexec \"$@\"\n");
  fs::permissions(shell, fs::perms::owner_all);
  fs::path near = temp / "mirror1", far = temp / "mirror2";
  run =
      run_publish({"push", "--out", out.string(), "--rsh", shell.string(), near.string(), "localhost:" + far.string()});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  for (const fs::path& mirror : {near, far}) {
    EXPECT_EQ(snapshot(mirror / "releases"), snapshot(out / "releases"));
    EXPECT_EQ(read_file(mirror / "info.txt"), read_file(out / "info.txt"));
    // The kept release a new mirror lacked came as links, not as a second copy.
    EXPECT_TRUE(fs::equivalent(mirror / "releases/4/product/big.bin", mirror / "releases/5/product/big.bin"));
  }

  run = build({"--client", client.string(), "--keep", "1"});
  EXPECT_NE(run.err.find("--keep 1 removed release 5 at once: players in the middle of an update"), std::string::npos)
      << run.err;
}

// Clients refuse a serial below one they took: a signed release carries its own in both
// trees, and a flat tree one past the kept serial and its earlier documents, so that a
// switch of layout either way never goes back.
TEST_F(publish_run, signed_trees_carry_a_serial_that_only_grows_in_either_layout) {
  const std::string key = std::string(CORVID_TEST_SUPPORT) + "/test_release_key";
  fs::path client = temp / "client";
  write_file(client / "talomar.exe", "exe");
  add("a.txt", "first");
  layout = {"--client", client.string(), "--sign", key};
  auto serial_of = [](const fs::path& tree) {
    std::string document = read_file(tree / "csigned.dat");
    std::size_t at = document.find("\nserial ");
    return at == std::string::npos ? std::string() : document.substr(at + 8, document.find('\n', at + 1) - at - 8);
  };
  for (const char* chosen : {"releases", "releases", "flat", "flat", "releases"})
    ASSERT_EQ(build({"--layout", chosen}).exit_code, 0) << chosen;
  for (const char* tree : {"product", "client"}) {
    EXPECT_EQ(serial_of(out / "releases/2" / tree), "2") << tree;
    EXPECT_EQ(serial_of(out / tree), "4") << tree;
    EXPECT_EQ(serial_of(out / "releases/5" / tree), "5") << tree;
  }
  EXPECT_EQ(run_publish({"verify", "--out", out.string(), "--key", key + ".pub"}).exit_code, 0);
  // Every kept release is checked, not only the one players are given.
  std::string document = read_file(out / "releases/1/client/csigned.dat");
  document[document.find("serial 1")] = 'S';
  write_file(out / "releases/1/client/csigned.dat", document);
  tool_run broken = run_publish({"verify", "--out", out.string(), "--key", key + ".pub"});
  EXPECT_EQ(broken.exit_code, 1);
  EXPECT_NE((broken.out + broken.err).find("releases/1/client/csigned.dat"), std::string::npos) << broken.out;

  // Forgetting --sign would stop every keyed client: refused unless said.
  layout = {"--client", client.string()};
  tool_run unsigned_run = build();
  EXPECT_EQ(unsigned_run.exit_code, 1);
  EXPECT_NE(unsigned_run.err.find("by an unsigned one, which clients built with the release key refuse: give --sign "
                                  "KEY, or --drop signature"),
            std::string::npos)
      << unsigned_run.err;
  EXPECT_EQ(build({"--drop", "signature"}).exit_code, 0);
  EXPECT_FALSE(fs::exists(out / "releases/6/product/csigned.dat"));
}

// The CRC-32 and the lengths of a stream can be forged, its SHA-256 cannot: only with
// the key does verify tell the forged file from the one published.
TEST_F(publish_run, with_the_key_verify_finds_a_file_forged_to_the_listed_size_and_crc) {
  const std::string key = std::string(CORVID_TEST_SUPPORT) + "/test_release_key";
  // Noise is stored, not compressed: other noise of its length packs to its size.
  const std::string published = noise(1000, 1);
  add("a.bin", published);
  ASSERT_EQ(build({"--sign", key}).exit_code, 0);
  std::string forged = with_forged_crc(noise(996, 2), crc_of(published));
  std::string packed(compressBound(static_cast<uLong>(forged.size())), '\0');
  uLongf length = static_cast<uLongf>(packed.size());
  compress2(reinterpret_cast<Bytef*>(packed.data()), &length, reinterpret_cast<const Bytef*>(forged.data()),
            static_cast<uLong>(forged.size()), 6);
  ASSERT_EQ(length, fs::file_size(out / "product" / "a.bin"));
  write_file(out / "product" / "a.bin", packed.substr(0, length));

  EXPECT_EQ(run_publish({"verify", "--out", out.string()}).exit_code, 0);
  tool_run keyed = run_publish({"verify", "--out", out.string(), "--key", key + ".pub"});
  EXPECT_EQ(keyed.exit_code, 1);
  EXPECT_EQ(keyed.out, (out / "product").string() + ": 1 file(s) that are not the bytes signed\n");
  keyed = run_publish({"verify", "--out", out.string(), "--key", key + ".pub", "-v", "--json"});
  EXPECT_NE(keyed.out.find("\"code\": \"signature\""), std::string::npos) << keyed.out;
  EXPECT_NE(keyed.out.find("inflates to bytes of SHA-256 "), std::string::npos) << keyed.out;
}

TEST(publish_command_line, usage_errors_exit_2_and_the_help_fits_a_screen_beside_a_manual_of_every_option) {
  EXPECT_EQ(run_publish({}).exit_code, 2);
  EXPECT_EQ(run_publish({"publish"}).exit_code, 2);
  EXPECT_EQ(run_publish({"build", "--release", "r"}).exit_code, 2);
  EXPECT_EQ(run_publish({"build", "--release", "r", "--out", "o", "--level", "10"}).exit_code, 2);
  EXPECT_EQ(run_publish({"build", "--release=r", "--out=o", "--jobs=0"}).exit_code, 2);
  EXPECT_EQ(run_publish({"build", "--release", "r", "--out", "o", "--bogus"}).exit_code, 2);
  EXPECT_EQ(run_publish({"verify", "--out", "o", "--quick"}).exit_code, 2);
  EXPECT_EQ(run_publish({"build", "--release", "r", "--out", "o", "--client-host", "c"}).exit_code, 2);
  EXPECT_EQ(run_publish({"build", "--release", "r", "--out", "o", "--utc-offset", "1h"}).exit_code, 2);
  EXPECT_EQ(run_publish({"build", "--release", "r", "--out", "o", "--info", "i", "--client-host", "c", "--product-host",
                         "p", "--mirror", "onlyone"})
                .exit_code,
            2);
  EXPECT_EQ(run_publish({"verify"}).exit_code, 2);
  tool_run https = run_publish({"verify", "--url", "https://example.com/info.txt"});
  EXPECT_EQ(https.exit_code, 2);
  EXPECT_NE(https.err.find("plain HTTP only"), std::string::npos) << https.err;

  // Help fits a screen; the manual beside the program tells every option it names.
  std::string manual_source = read_file(fs::path(CORVID_PUBLISH_EXE).parent_path() / "corvid-publish.1");
  for (const char* command : {"build", "verify"}) {
    tool_run help = run_publish({command, "--help"});
    EXPECT_EQ(help.exit_code, 0);
    std::istringstream lines(help.out);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) EXPECT_LE(line.size(), 80u) << line;
    EXPECT_LE(count, 40) << help.out;
    std::regex option_name("--([a-z][a-z-]*)");
    for (auto name = std::sregex_iterator(help.out.begin(), help.out.end(), option_name);
         name != std::sregex_iterator(); ++name) {
      std::string escaped = "\\-\\-" + std::regex_replace((*name)[1].str(), std::regex("-"), "\\-");
      EXPECT_NE(manual_source.find(escaped), std::string::npos) << command << " " << name->str();
    }
  }
  std::string rendered = "LC_ALL=C MANWIDTH=80 man --warnings -l " +
                         (fs::path(CORVID_PUBLISH_EXE).parent_path() / "corvid-publish.1").string() +
                         " 2>&1 >/dev/null";
  std::FILE* man = popen(rendered.c_str(), "r");
  ASSERT_NE(man, nullptr);
  char warning[256] = "";
  bool warned = std::fgets(warning, sizeof warning, man) != nullptr;
  EXPECT_EQ(pclose(man), 0);
  EXPECT_FALSE(warned) << warning;
  EXPECT_EQ(run_publish({"--help"}).exit_code, 0);
  tool_run version = run_publish({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "corvid-publish 1.32\n");
}

}  // namespace corvid
