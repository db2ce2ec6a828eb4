#include "net/download.h"

#include <gtest/gtest.h>

#include <direct.h>

#include <set>
#include <string>

#include "platform/handles.h"
#include "core/update_state.h"
#include "net/directories.h"
#include "net/internet_session.h"
#include "tests/support/client_test.h"
#include "tests/support/http_server.h"
#include "tests/support/one_thread.h"

namespace corvid {

namespace {

int progress_calls = 0;
void count_progress_call(int) { ++progress_calls; }

class download_test : public client_test {
 protected:
  void SetUp() override { ASSERT_TRUE(open_internet_session()); }
  void TearDown() override { close_internet_session(); }

  bool download(const std::string& path, const char* local_path, std::uint32_t expected_size = 0, bool hidden = false) {
    url = server.url(path);
    download_request request;
    request.url = url.c_str();
    request.local_path = local_path;
    request.expected_size = expected_size;
    request.progress_callback = count_progress_call;
    request.hidden = hidden;
    return download_to_file(request);
  }

  test_http_server server;
  std::string url;
};

TEST(handle_owner, closing_a_handle_keeps_the_reason_of_the_failure_before_it) {
  // A value no handle has: its close fails and would set an error of its own.
  kernel_handle bogus(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x7ff0)));
  SetLastError(ERROR_DISK_FULL);
  bogus.reset();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
}

// A plain GET with WinINet's own headers, the program's user agent and a connection
// kept alive, and nothing left behind in the URL cache. (Wine's WinINet never answers
// from its cache, so that every request reaches the server shows in every test.)
TEST_F(download_test, server_sees_a_plain_get_and_nothing_is_cached) {
  server.serve("/plain.dat", "body");
  ASSERT_TRUE(download("/plain.dat", "plain.dat"));

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const http_request_record& ours = requests[0];
  EXPECT_EQ(ours.method, "GET");
  EXPECT_EQ(ours.target, "/plain.dat");  // origin form: no proxy in between
  using header = std::pair<std::string, std::string>;
  EXPECT_EQ(std::set<header>(ours.headers.begin(), ours.headers.end()),
            (std::set<header>{{"Accept", "*/*"},
                              {"Host", server.location()},
                              {"User-Agent", "Corvid Update v. 1.32"},
                              {"Connection", "Keep-Alive"}}));
  char entry[4096];
  DWORD size = sizeof entry;
  EXPECT_FALSE(GetUrlCacheEntryInfoA(url.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(entry), &size));
}

// A short read is the last one; a full chunk is followed by one pumped message and
// another read, which for a body of exactly 1024 bytes finds nothing more.
TEST_F(download_test, bodies_around_the_chunk_size_arrive_whole_in_as_many_reads_as_they_need) {
  pumped_actions actions;
  state.last_error_code = 7;
  for (std::size_t size : {0u, 1u, 1000u, 1023u, 1024u, 1025u, 2048u, 5000u}) {
    CORVID_TRACE(size);
    std::string body;
    for (std::size_t i = 0; i < size; ++i) body += static_cast<char>('a' + i * 7 % 26);
    server.serve("/body", body);
    progress_calls = 0;
    ASSERT_TRUE(download("/body", "body.dat"));
    EXPECT_EQ(read_file("body.dat"), body);
    EXPECT_EQ(progress_calls, 0) << "no progress without a stated size";
    if (size != 0) {
      int ran_before = actions.ran();
      for (int i = 0; i < 8; ++i) actions.post([] {});
      progress_calls = 0;
      ASSERT_TRUE(download("/body", "sized.dat", static_cast<std::uint32_t>(size)));
      actions.drop_waiting();
      EXPECT_EQ(read_file("sized.dat"), body);
      EXPECT_EQ(static_cast<std::size_t>(actions.ran() - ran_before), size / 1024)
          << "one message after each full chunk";
      EXPECT_EQ(progress_calls, static_cast<int>((size + 1023) / 1024)) << "one call for each chunk written";
    }
  }
  EXPECT_EQ(state.last_error_code, 7);  // success leaves the code alone
}

// Each framing is followed by a further download on the same session, as in a run.
TEST_F(download_test, chunked_close_delimited_and_redirected_bodies_arrive_whole) {
  std::string body;
  for (int i = 0; i < 5000; ++i) body += static_cast<char>('a' + i * 7 % 26);
  server.serve_chunked("/chunked", body, 1000);
  server.serve_until_close("/closed", body);
  server.serve_redirect("/moved", "/body");
  server.serve("/body", body);
  for (const char* path : {"/chunked", "/closed", "/moved", "/body"}) {
    CORVID_TRACE(path);
    ASSERT_TRUE(download(path, "framed.dat", 5000));
    EXPECT_EQ(read_file("framed.dat"), body);
  }
  EXPECT_EQ(server.requests().back().target, "/body");
  EXPECT_EQ(server.request_count(), 5u);
}

TEST_F(download_test, an_error_page_is_stored_as_the_body) {
  server.serve_not_found_page("/missing.dat");
  ASSERT_TRUE(download("/missing.dat", "missing.dat"));
  EXPECT_NE(read_file("missing.dat").find("Not Found"), std::string::npos);
}

TEST_F(download_test, an_unreachable_host_gives_201_and_no_file) {
  std::string closed = "http://127.0.0.1:" + std::to_string(test_http_server::closed_port()) + "/x.dat";
  download_request request;
  request.url = closed.c_str();
  request.local_path = "x.dat";
  EXPECT_FALSE(download_to_file(request));
  EXPECT_EQ(state.last_error_code, 201);
  EXPECT_FALSE(file_exists("x.dat"));
}

TEST_F(download_test, a_body_of_the_wrong_size_is_deleted_with_206) {
  server.serve("/short.dat", std::string(4000, 's'));
  EXPECT_FALSE(download("/short.dat", "short.dat", 5000));
  EXPECT_EQ(state.last_error_code, 206);
  EXPECT_FALSE(file_exists("short.dat"));

  server.serve("/long.dat", std::string(6000, 'l'));
  EXPECT_FALSE(download("/long.dat", "long.dat", 5000));
  EXPECT_EQ(state.last_error_code, 206);
  EXPECT_FALSE(file_exists("long.dat"));
}

TEST_F(download_test, a_connection_reset_mid_body_gives_204_and_keeps_the_part) {
  server.serve_fault("/reset.dat", http_fault::reset_mid_body, std::string(8192, 'r'), 3072);
  EXPECT_FALSE(download("/reset.dat", "reset.dat"));
  EXPECT_EQ(state.last_error_code, 204);
  EXPECT_EQ(read_file("reset.dat"), std::string(3072, 'r')) << "the part that came before the reset";
}

TEST_F(download_test, an_endless_body_stops_at_the_bound_and_is_deleted) {
  server.serve_fault("/endless", http_fault::endless_body, "");
  EXPECT_FALSE(download("/endless", "endless.dat"));
  EXPECT_EQ(state.last_error_code, 206);
  EXPECT_FALSE(file_exists("endless.dat"));

  // With a size given, the body is wrong as soon as it runs past it.
  EXPECT_FALSE(download("/endless", "endless.dat", 5000));
  EXPECT_EQ(state.last_error_code, 206);
  EXPECT_FALSE(file_exists("endless.dat"));
}

TEST_F(download_test, a_cancel_already_set_opens_and_truncates_but_reads_nothing) {
  server.serve("/c.dat", std::string(3000, 'c'));
  write_file("c.dat", "old contents");
  state.cancel_flag = 1;

  EXPECT_TRUE(download("/c.dat", "c.dat"));
  EXPECT_EQ(server.request_count(), 1u);
  EXPECT_TRUE(file_exists("c.dat"));
  EXPECT_EQ(read_file("c.dat"), "");

  EXPECT_FALSE(download("/c.dat", "c.dat", 3000));
  EXPECT_EQ(state.last_error_code, 206);
  EXPECT_FALSE(file_exists("c.dat"));
}

TEST_F(download_test, a_cancel_during_the_transfer_stops_at_the_next_pass) {
  pumped_actions actions;
  auto press_cancel = [] { state.cancel_flag = 1; };
  server.serve("/big.dat", std::string(10 * 1024, 'b'));

  actions.post(press_cancel);
  EXPECT_TRUE(download("/big.dat", "big.dat"));
  EXPECT_EQ(read_file("big.dat"), std::string(1024, 'b'));

  state.cancel_flag = 0;
  actions.post(press_cancel);
  EXPECT_FALSE(download("/big.dat", "big.dat", 10 * 1024));
  EXPECT_EQ(state.last_error_code, 206);
  EXPECT_FALSE(file_exists("big.dat"));
}

TEST_F(download_test, missing_directories_on_the_path_are_made) {
  server.serve("/c.dat", "deep");
  ASSERT_TRUE(download("/c.dat", "a/b/c.dat"));
  EXPECT_TRUE(directory_exists("a"));
  EXPECT_TRUE(directory_exists("a/b"));
  EXPECT_EQ(read_file("a/b/c.dat"), "deep");

  ASSERT_TRUE(download("/c.dat", "x\\y\\c.dat"));
  EXPECT_EQ(read_file("x/y/c.dat"), "deep");

  // A file where a directory must go, and a directory where the file must go.
  write_file("blocked", "");
  EXPECT_FALSE(download("/c.dat", "blocked/c.dat"));
  EXPECT_EQ(state.last_error_code, 202);
  std::filesystem::create_directory("taken.dat");
  EXPECT_FALSE(download("/c.dat", "taken.dat"));
  EXPECT_EQ(state.last_error_code, 203);
}

TEST_F(download_test, a_hidden_download_is_hidden_and_temporary) {
  server.serve("/h.dat", "h");
  ASSERT_TRUE(download("/h.dat", "h.dat", 0, true));
  DWORD attributes = GetFileAttributesA("h.dat");
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN);
  // Wine keeps the hidden attribute of a file but not the temporary one; where the
  // platform keeps it, the download must have asked for it.
  HANDLE probe = CreateFileA("probe.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  CloseHandle(probe);
  if (GetFileAttributesA("probe.dat") & FILE_ATTRIBUTE_TEMPORARY) {
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_TEMPORARY);
  }

  ASSERT_TRUE(download("/h.dat", "plain.dat", 0, false));
  attributes = GetFileAttributesA("plain.dat");
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(attributes & FILE_ATTRIBUTE_TEMPORARY);
}

TEST_F(download_test, over_long_urls_and_paths_are_refused_not_cut) {
  server.serve("/f.dat", "f");
  std::string long_url = server.url("/" + std::string(1100, 'u'));
  download_request request;
  request.url = long_url.c_str();
  request.local_path = "f.dat";
  EXPECT_FALSE(download_to_file(request));
  EXPECT_EQ(state.last_error_code, 201);
  EXPECT_EQ(server.request_count(), 0u);

  EXPECT_FALSE(fetch_client_list_or_patch_header((server.location() + "/" + std::string(1010, 'p')).c_str()));
  EXPECT_EQ(state.last_error_code, 201);
  EXPECT_EQ(server.request_count(), 0u);

  std::string long_name = std::string(270, 'n');
  EXPECT_FALSE(download("/f.dat", long_name.c_str()));
  EXPECT_EQ(state.last_error_code, 203);

  std::string long_directory = std::string(265, 'd') + "/f.dat";
  EXPECT_FALSE(download("/f.dat", long_directory.c_str()));
  EXPECT_EQ(state.last_error_code, 202);
  EXPECT_FALSE(directory_exists(std::string(259, 'd').c_str()));
}

TEST_F(download_test, the_scratch_files_come_from_the_host_and_its_path) {
  server.serve("/sub/cpatch.dat", "header");
  server.serve("/sub/command.dat", "script");
  std::string host = server.location() + "/sub";
  ASSERT_TRUE(fetch_client_list_or_patch_header(host.c_str()));
  ASSERT_TRUE(fetch_command_script(host.c_str()));
  EXPECT_EQ(read_file("cpatch.dat"), "header");
  EXPECT_EQ(read_file("command.dat"), "script");
  EXPECT_TRUE(GetFileAttributesA("command.dat") & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(download_test, a_quit_message_mid_transfer_ends_the_process_after_the_clean_up) {
  install_folder quit = install_folder::shared_with_death_tests("download_quit");
  quit.write("command.dat", "left by an earlier step");
  server.serve("/cpatch.dat", std::string(8192, 'q'));
  EXPECT_EXIT(
      {
        std::filesystem::current_path(quit.path());
        PostQuitMessage(7);
        download("/cpatch.dat", "cpatch.dat", 0, true);
      },
      ::testing::ExitedWithCode(7), "");
  EXPECT_FALSE(quit.exists("command.dat")) << "the clean-up ran";
  EXPECT_FALSE(quit.exists("cpatch.dat"));
}

using directory_test = client_test;

TEST_F(directory_test, a_path_is_made_up_to_its_last_separator) {
  EXPECT_FALSE(create_directory_path(nullptr));
  EXPECT_TRUE(create_directory_path(""));
  EXPECT_TRUE(create_directory_path("p/q\\r"));
  EXPECT_TRUE(directory_exists("p/q"));
  EXPECT_FALSE(directory_exists("p/q/r"));
  EXPECT_TRUE(create_directory_path("p/q/r/"));
  EXPECT_TRUE(directory_exists("p/q/r"));

  std::string absolute = folder_.path().string() + "\\abs\\inner\\";
  EXPECT_TRUE(create_directory_path(absolute.c_str()));
  EXPECT_TRUE(directory_exists((folder_.path().string() + "\\abs\\inner").c_str()));
}

TEST_F(directory_test, a_failure_keeps_what_was_made_before_it) {
  EXPECT_FALSE(create_directory_path("first/bad*name/below/"));
  EXPECT_TRUE(directory_exists("first"));
  EXPECT_FALSE(directory_exists("first/bad*name/below"));
}

TEST_F(directory_test, the_check_leaves_the_working_directory_as_it_was) {
  CreateDirectoryA("inside", nullptr);
  char before[MAX_PATH];
  char after[MAX_PATH];
  _getcwd(before, sizeof before);
  EXPECT_TRUE(directory_exists("inside"));
  EXPECT_FALSE(directory_exists("absent"));
  _getcwd(after, sizeof after);
  EXPECT_STREQ(before, after);
}

}  // namespace

}  // namespace corvid
