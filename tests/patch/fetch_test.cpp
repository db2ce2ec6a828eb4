#include "patch/fetch.h"

#include <windows.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <set>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "core/scratch_files.h"
#include "core/update_state.h"
#include "net/internet_session.h"
#include "patch/inflating_writer.h"
#include "patch/install_log.h"
#include "tests/patch/patch_fixture.h"
#include "tests/support/http_server.h"

namespace {
bool refuse_next_allocation = false;
}

// The fetcher's one allocation, zlib's state, comes through here: a test can make it
// fail as an exhausted address space would.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (std::exchange(refuse_next_allocation, false)) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

namespace corvid {
namespace {

constexpr std::uint32_t listed_time = 0x60000000;

class fetch_test : public patch_test {
 protected:
  fetch_test() {
    EXPECT_TRUE(open_internet_session());
    write(install_log_file, "");
  }
  ~fetch_test() override { close_internet_session(); }

  // Serves `bytes` packed under `path` and returns the entry that lists it, marked.
  file_entry publish(const std::string& name, const std::string& bytes, const std::string& path) {
    std::string body = packed(bytes);
    server.serve(path, body);
    file_entry entry;
    entry.name.assign(name);
    entry.size = static_cast<std::uint32_t>(bytes.size());
    entry.packed_size = static_cast<std::uint32_t>(body.size());
    entry.crc32 = crc_of(bytes);
    entry.time = listed_time;
    entry.needs_fetch = true;
    return entry;
  }

  void use_list(const std::vector<file_entry>& entries) {
    state.file_list.reset(new file_entry[entries.size()]);
    state.total_bytes_to_fetch = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      state.file_list[i] = entries[i];
      if (entries[i].needs_fetch) state.total_bytes_to_fetch += entries[i].packed_size;
    }
    state.file_list_count = static_cast<int>(entries.size());
  }

  bool fetch_all() {
    files_fetched = -1;
    return fetch_marked_files(host.c_str(), files_fetched);
  }

  std::vector<std::string> requested() const {
    std::vector<std::string> targets;
    for (const http_request_record& request : server.requests()) targets.push_back(request.target);
    return targets;
  }

  // A failed fetch of the single listed file: `code`, and the installed copy, its time,
  // the log and the folder exactly as they were.
  void expect_fails_keeping_the_installed_copy(int code, const std::string& name = "map.dat") {
    std::int64_t time = modification_time(name);
    std::string bytes = read(name);
    std::string log = read(install_log_file);
    EXPECT_FALSE(fetch_all());
    EXPECT_EQ(state.last_error_code, code);
    EXPECT_EQ(files_fetched, 0);
    EXPECT_EQ(read(name), bytes);
    EXPECT_EQ(modification_time(name), time);
    EXPECT_EQ(read(install_log_file), log);
    expect_no_scratch_copy_in("");
  }

  void expect_no_scratch_copy_in(const std::string& folder) const {
    for (int index = 0; index < scratch_copy_name_count; ++index) {
      std::string name = folder + scratch_copy_name_at(index).c_str();
      EXPECT_FALSE(exists(name) && !std::filesystem::is_directory(folder_ / name)) << name;
    }
  }

  std::string log_line(const std::string& label, std::string part) const {
    for (char& c : part) c = c == '/' ? '\\' : c;
    return label + installation() + "\\" + part + "\r\n";
  }

  test_http_server server;
  std::string host = server.location();
  int files_fetched = -1;
};

TEST_F(fetch_test, a_listed_name_is_fetched_written_and_logged_in_lower_case) {
  use_list({publish("Data/Readme.TXT", "Play well.\n", "/data/readme.txt")});
  ASSERT_TRUE(fetch_all());
  EXPECT_EQ(files_fetched, 1);
  EXPECT_EQ(requested(), (std::vector<std::string>{"/data/readme.txt"}));
  EXPECT_EQ(read("data/readme.txt"), "Play well.\n");
  EXPECT_EQ(modification_time("data/readme.txt"), stamped_time_of(listed_time));
  EXPECT_EQ(state.file_list[0].name, "data/readme.txt");
  EXPECT_TRUE(state.readme_fetched_flag);
  EXPECT_EQ(read(install_log_file), log_line("Made Dir: ", "data/") + log_line("File Copy: ", "data/readme.txt"));
}

TEST_F(fetch_test, only_marked_files_are_fetched_and_counted) {
  file_entry current = publish("current.dat", "same", "/current.dat");
  current.needs_fetch = false;
  use_list({current, publish("new.dat", "new content", "/new.dat")});
  ASSERT_TRUE(fetch_all());
  EXPECT_EQ(files_fetched, 1);
  EXPECT_EQ(requested(), (std::vector<std::string>{"/new.dat"}));
  EXPECT_FALSE(exists("current.dat"));
  EXPECT_FALSE(state.readme_fetched_flag);
}

TEST_F(fetch_test, mirrors_take_turns_and_the_turn_goes_on_across_calls) {
  server_location mirrors[alternate_host_slots];
  std::vector<file_entry> entries;
  for (int m = 0; m < 3; ++m) mirrors[m].assign(host + "/m" + std::to_string(m));
  const char* names[] = {"a.dat", "b.dat", "c.dat", "d.dat"};
  const int expected_mirror[] = {2, 0, 1, 2};
  for (int i = 0; i < 4; ++i) {
    entries.push_back(publish(names[i], names[i], "/m" + std::to_string(expected_mirror[i]) + "/" + names[i]));
  }
  use_list(entries);
  state.next_host_index = 2;
  ASSERT_TRUE(fetch_marked_files_rotating(mirrors, 3, files_fetched));
  EXPECT_EQ(files_fetched, 4);
  EXPECT_EQ(requested(), (std::vector<std::string>{"/m2/a.dat", "/m0/b.dat", "/m1/c.dat", "/m2/d.dat"}));
  EXPECT_EQ(state.next_host_index, 0);

  EXPECT_FALSE(fetch_marked_files_rotating(mirrors, 0, files_fetched));
  EXPECT_EQ(files_fetched, 0);
}

TEST_F(fetch_test, every_failure_leaves_the_installed_copy_as_it_was) {
  write("map.dat", "old map");
  set_modification_time("map.dat", 1500000000);
  std::string content = "the new map, longer than the old one";
  file_entry entry = publish("map.dat", content, "/map.dat");
  std::string body = packed(content);
  use_list({entry});

  refuse_next_allocation = true;
  expect_fails_keeping_the_installed_copy(fetch_no_memory);

  server.serve_fault("/map.dat", http_fault::reset_mid_body, varied_bytes(8192), 3072);
  state.file_list[0].packed_size = 8192;
  expect_fails_keeping_the_installed_copy(fetch_read_failed);
  state.file_list[0].packed_size = entry.packed_size;

  server.serve("/map.dat", body.substr(0, body.size() - 1));
  expect_fails_keeping_the_installed_copy(fetch_wrong_size);

  // The right length, but one byte short once inflated; then not zlib at all; then
  // more than the listed size.
  std::string short_body = packed(content.substr(1));
  server.serve("/map.dat", short_body);
  state.file_list[0].packed_size = static_cast<std::uint32_t>(short_body.size());
  expect_fails_keeping_the_installed_copy(fetch_cannot_inflate);
  server.serve("/map.dat", std::string(entry.packed_size, 'x'));
  state.file_list[0].packed_size = entry.packed_size;
  expect_fails_keeping_the_installed_copy(fetch_cannot_inflate);
  server.serve("/map.dat", body);
  state.file_list[0].size = entry.size - 1;
  expect_fails_keeping_the_installed_copy(fetch_cannot_inflate);
  state.file_list[0].size = entry.size;

  // Folders with the scratch copies' names: each one moves the copy to the next name;
  // with all of them taken, a wrong body is still reported as one.
  for (int index = 0; index < scratch_copy_name_count; ++index) {
    ASSERT_TRUE(CreateDirectoryA(scratch_copy_name_at(index).c_str(), nullptr));
    if (index < scratch_copy_name_count - 1) {
      ASSERT_TRUE(fetch_all()) << index;
      EXPECT_EQ(read("map.dat"), content);
      write("map.dat", "old map");
    }
  }
  server.serve("/map.dat", body.substr(0, body.size() - 1));
  EXPECT_FALSE(fetch_all());
  EXPECT_EQ(state.last_error_code, fetch_wrong_size);
  server.serve("/map.dat", body);
  EXPECT_FALSE(fetch_all());
  EXPECT_EQ(state.last_error_code, fetch_cannot_create_file);
  EXPECT_EQ(read("map.dat"), "old map");
  for (int index = 0; index < scratch_copy_name_count; ++index) RemoveDirectoryA(scratch_copy_name_at(index).c_str());

  ASSERT_TRUE(fetch_all());
  EXPECT_EQ(read("map.dat"), content);
  expect_no_scratch_copy_in("");

  // A file where a folder must go: no folder is made or logged.
  write("sub", "a file, not a folder");
  use_list({publish("sub/a.dat", "a", "/sub/a.dat")});
  expect_fails_keeping_the_installed_copy(fetch_cannot_make_directory, "sub");
}

TEST_F(fetch_test, output_beyond_the_listed_size_is_never_written) {
  std::string content = std::string(300 * 1024, 'z');
  std::string body = packed(content);
  HANDLE file = CreateFileA("out.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  inflating_writer writer(static_cast<std::uint32_t>(content.size() - 1));
  ASSERT_TRUE(writer.ready());
  writer.feed(file, reinterpret_cast<const unsigned char*>(body.data()), body.size());
  EXPECT_EQ(writer.finish(file), inflate_outcome::bad_stream);
  CloseHandle(file);
  EXPECT_LE(read("out.dat").size(), content.size() - 1);
}

TEST_F(fetch_test, an_endless_body_fails_at_its_stated_size) {
  file_entry entry = publish("big.dat", std::string(5000, 'b'), "/big.dat");
  server.serve_fault("/big.dat", http_fault::endless_body, std::string(4096, 'e'));
  use_list({entry});
  EXPECT_FALSE(fetch_all());
  EXPECT_EQ(state.last_error_code, fetch_wrong_size);
  EXPECT_FALSE(exists("big.dat"));
}

TEST_F(fetch_test, an_unreachable_host_gives_301_and_stops_the_run) {
  host = "127.0.0.1:" + std::to_string(test_http_server::closed_port());
  use_list({publish("a.dat", "a", "/a.dat"), publish("b.dat", "b", "/b.dat")});
  EXPECT_FALSE(fetch_all());
  EXPECT_EQ(state.last_error_code, fetch_cannot_open_url);
  EXPECT_EQ(files_fetched, 0);
}

TEST_F(fetch_test, a_read_only_installed_file_is_replaced_by_an_ordinary_one) {
  write("locked.dat", "old");
  SetFileAttributesA("locked.dat", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  // Several output buffers' worth, from both short and long runs of input.
  std::string content = varied_bytes(300000) + std::string(700000, 'z');
  use_list({publish("locked.dat", content, "/locked.dat")});
  ASSERT_TRUE(fetch_all());
  EXPECT_TRUE(read("locked.dat") == content);
  EXPECT_EQ(modification_time("locked.dat"), stamped_time_of(listed_time));
  EXPECT_EQ(GetFileAttributesA("locked.dat") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
  expect_no_scratch_copy_in("");
}

TEST_F(fetch_test, a_new_folder_is_logged_once_and_a_file_once_across_runs) {
  use_list({publish("sub/dir/one.dat", "1", "/sub/dir/one.dat"), publish("sub/dir/two.dat", "2", "/sub/dir/two.dat")});
  ASSERT_TRUE(fetch_all());
  std::string expected = log_line("Made Dir: ", "sub/dir/") + log_line("File Copy: ", "sub/dir/one.dat") +
                         log_line("File Copy: ", "sub/dir/two.dat");
  EXPECT_EQ(read(install_log_file), expected);

  // The next run installs the same files again; the log keeps its one line for each,
  // also where the log spells it in other letter case.
  std::string shouted = expected;
  for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  write(install_log_file, shouted);
  use_list({publish("SUB/dir/one.dat", "1", "/sub/dir/one.dat")});
  ASSERT_TRUE(fetch_all());
  EXPECT_EQ(read(install_log_file), shouted);
}

TEST_F(fetch_test, the_scratch_copy_is_made_where_the_file_goes_or_where_its_new_folders_will_be) {
  write("data/kept.dat", "kept");
  // Left by a killed run, and made read-only and hidden since: taken over all the same.
  write("data/cfetch.dat", "half a copy");
  SetFileAttributesA("data/cfetch.dat", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  std::string one = varied_bytes(20000), two = varied_bytes(30000);
  use_list({publish("data/one.dat", one, "/data/one.dat"), publish("data/new/two.dat", two, "/data/new/two.dat")});
  // Looked for at every pump of both transfers.
  std::set<std::string> seen;
  pumped_actions actions;
  std::function<void()> look = [&] {
    for (std::string folder : {"", "data/", "data/new/"}) {
      if (exists(folder + scratch_copy_name_at(0).c_str())) seen.insert(folder);
    }
    if (actions.ran() < 500) actions.post(look);
  };
  actions.post(look);
  ASSERT_TRUE(fetch_all());
  EXPECT_EQ(seen, std::set<std::string>{"data/"});
  EXPECT_TRUE(read("data/one.dat") == one);
  EXPECT_TRUE(read("data/new/two.dat") == two);
  expect_no_scratch_copy_in("data/");
}

TEST_F(fetch_test, without_an_install_log_nothing_is_logged_or_created) {
  DeleteFileA(install_log_file);
  use_list({publish("new/a.dat", "a", "/new/a.dat")});
  ASSERT_TRUE(fetch_all());
  EXPECT_EQ(read("new/a.dat"), "a");
  EXPECT_FALSE(exists(install_log_file));
}

TEST_F(fetch_test, the_size_limit_admits_its_own_size_and_nothing_above) {
  file_entry entry = publish("a.dat", "some bytes to fetch", "/a.dat");
  use_list({entry});
  state.max_patch_size = entry.packed_size + 1;
  state.total_bytes_to_fetch = entry.packed_size + 2;
  state.last_error_code = 7;
  EXPECT_FALSE(fetch_all());
  EXPECT_EQ(files_fetched, 0);
  EXPECT_EQ(server.request_count(), 0u);
  EXPECT_EQ(state.last_error_code, 7);

  state.total_bytes_to_fetch = entry.packed_size + 1;
  ASSERT_TRUE(fetch_all());
  EXPECT_EQ(files_fetched, 1);
  EXPECT_EQ(state.progress.overall_bytes_total, entry.packed_size + 1);
  EXPECT_EQ(state.progress.overall_bytes_done, entry.packed_size);
}

TEST_F(fetch_test, cancel_mid_file_gives_304_and_keeps_the_old_copy) {
  write("big.dat", "old");
  use_list({publish("big.dat", varied_bytes(20000), "/big.dat")});
  ASSERT_GT(state.file_list[0].packed_size, 2048u);

  pumped_actions actions;
  actions.post([] { state.cancel_flag = 1; });
  EXPECT_FALSE(fetch_all());
  EXPECT_EQ(state.last_error_code, fetch_wrong_size);
  EXPECT_EQ(read("big.dat"), "old");
  expect_no_scratch_copy_in("");
  EXPECT_EQ(state.progress.file_bytes_done, 1024u) << "one chunk, then the cancel was seen";
}

}  // namespace

}  // namespace corvid
