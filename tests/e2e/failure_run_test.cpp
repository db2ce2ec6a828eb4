// Whole runs that stop early: every failure box with its code, the server's own
// notices, the size limit, and the player stopping the run at each point.

#include <gtest/gtest.h>

#include <zlib.h>

#include <functional>
#include <optional>

#include "app/resources/resource_ids.h"
#include "patch/signed_document.h"
#include "publish/release_signing.h"
#include "tests/e2e/whole_run.h"
#include "tests/support/forged_crc.h"
#include "tests/support/one_thread.h"

namespace corvid {

namespace fs = std::filesystem;

namespace {

class failure_run : public whole_run {
 protected:
  void add_small_game() {
    add_release_file("a.dat", "first file", 1700000000);
    add_release_file("b.dat", "second file", 1700000100);
    add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
  }

  // The published stream of `name` without its last byte.
  void serve_one_byte_short(const std::string& name) {
    std::string stream = read_file(out_ / name.substr(1));
    server_.serve(name, stream.substr(0, stream.size() - 1));
  }

  // A run that ends with exactly one box, without starting the login program.
  void expect_ends_with(const run_outcome& outcome, const shown_box& box) {
    EXPECT_EQ(outcome.exit_code, 0u);
    EXPECT_EQ(outcome.boxes, std::vector<shown_box>{box});
    EXPECT_FALSE(outcome.notes_seen);
    EXPECT_EQ(login_command_line(false), "");
    EXPECT_FALSE(install_.exists("cpatch.dat"));
    EXPECT_FALSE(install_.exists("command.dat"));
  }

  // A stream of `packed_size` bytes that inflates to `prefix` and an incompressible
  // tail of `tail` bytes: the length of a published file with other bytes.
  // Other bytes packed to `packed_size`; with `crc`, of that CRC-32 and `tail` long.
  std::string swapped_stream(const std::string& prefix, std::size_t tail, std::size_t packed_size,
                             std::optional<std::uint32_t> crc = {}) {
    for (unsigned seed = 100; seed < 600; ++seed) {
      std::string bytes = prefix + incompressible_bytes(tail - (crc ? 4 : 0), seed);
      if (crc) bytes = with_forged_crc(bytes, *crc);
      uLongf length = compressBound(static_cast<uLong>(bytes.size()));
      std::string packed(length, '\0');
      compress2(reinterpret_cast<Bytef*>(packed.data()), &length, reinterpret_cast<const Bytef*>(bytes.data()),
                static_cast<uLong>(bytes.size()), 6);
      if (length == packed_size) return packed.substr(0, length);
    }
    ADD_FAILURE() << "no other stream of " << packed_size << " bytes";
    return {};
  }

  // The tree's document with `change` made to its values, signed again with the key.
  std::string resigned_document(const std::string& tree, const std::function<void(signed_release&)>& change) {
    std::string document = read_file(out_ / tree / signed_document_file_name), text, resigned, error;
    signed_document_parts parts;
    signed_release release;
    std::vector<signed_file> files;
    EXPECT_TRUE(split_signed_document(document, parts));
    EXPECT_TRUE(read_signed_release(parts.signed_bytes, release, [&](const signed_file& file) {
      files.push_back(file);
      return true;
    }));
    change(release);
    publish::release_key_pair key;
    EXPECT_TRUE(format_signed_release(release, files, text));
    EXPECT_TRUE(publish::read_private_key_file(test_release_key_file(), key, error)) << error;
    EXPECT_TRUE(publish::sign_release_document(text, std::span(&key, 1), resigned, error)) << error;
    return resigned;
  }

  std::string closed_location() const { return "127.0.0.1:" + std::to_string(test_http_server::closed_port()); }

  // Sums what a fresh install of the published tree fetches.
  std::uint64_t packed_total() const {
    std::uint64_t total = 0;
    for (const listed_file& file : release_files_) total += fs::file_size(out_ / "product" / file.name);
    return total;
  }

  // Publishes login.dll and a filler whose streams add up to exactly `total` bytes.
  void publish_with_packed_total(std::uint64_t total, const std::vector<std::string>& options) {
    add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000200);
    std::size_t filler = static_cast<std::size_t>(total) - 4096;
    for (int attempt = 0; attempt < 8; ++attempt) {
      release_files_.resize(1);
      add_release_file("filler.bin", incompressible_bytes(filler, 7), 1700000300);
      publish(options);
      std::uint64_t got = packed_total();
      if (got == total) break;
      filler = static_cast<std::size_t>(static_cast<std::int64_t>(filler) + static_cast<std::int64_t>(total) -
                                        static_cast<std::int64_t>(got));
    }
    ASSERT_EQ(packed_total(), total);
    serve_published();
    point_update_location_at(server_.location() + "/info.txt");
  }
};

const shown_box size_limit_box{
    "Cannot Complete Update",
    "This client cannot update your Talomar installation\nbecause a large number of key files are missing or "
    "corrupted.\n\nPlease re-install the game from your installation CD and try again."};

TEST_F(failure_run, an_unreachable_server_ends_with_the_connect_message_and_the_download_code) {
  point_update_location_at(closed_location() + "/info.txt");
  run_outcome outcome = run();
  expect_ends_with(outcome, network_error_box("Cannot connect to update server.", 201));
}

TEST_F(failure_run, a_down_notice_is_shown_and_the_run_ends_without_the_connect_message) {
  add_small_game();
  publish_and_serve({"--down", "Closed for maintenance.\nBack at noon."});
  run_outcome outcome = run();
  // The published file ends with a line feed, so the notice ends with an empty line.
  expect_ends_with(outcome, {"Server Status", "Closed for maintenance.\nBack at noon.\n\n"});
  EXPECT_EQ(requested(), std::vector<std::string>{"/info.txt"});
}

TEST_F(failure_run, a_redirect_to_itself_or_to_nowhere_is_followed_silently_until_cancel) {
  add_small_game();
  publish_and_serve({"--redirect", server_.location() + "/info.txt"});
  run_options options;
  options.cancel_once_asked_for = "/info.txt";
  options.cancel_at_count = 5;
  run_outcome outcome = run(options);
  ASSERT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_EQ(count_of("/info.txt"), requested().size()) << "nothing but the server information is asked for";
  EXPECT_EQ(login_command_line(false), "");

  // A location that cannot be reached fails every attempt; the run stays in connect.
  publish_and_serve({"--redirect", closed_location() + "/info.txt"});
  std::size_t before = server_.request_count();
  options.cancel_at_count = count_of("/info.txt") + 1;
  options.cancel_delay = 3s;
  outcome = run(options);
  ASSERT_TRUE(outcome.cancelled) << "still running after the delay";
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_EQ(requested(before), std::vector<std::string>{"/info.txt"});
  EXPECT_EQ(login_command_line(false), "");
}

TEST_F(failure_run, an_unreachable_client_list_host_ends_with_message_26) {
  add_small_game();
  publish_and_serve({"--header-hosts", closed_location() + "/client," + server_.location() + "/product"});
  expect_ends_with(run(), network_error_box("Cannot retrieve patch utility update information.", 201));
}

TEST_F(failure_run, an_invalid_client_list_ends_with_message_27) {
  add_small_game();
  publish_and_serve();
  server_.serve("/client/cpatch.dat", "Corvid Patch\n0\n");
  expect_ends_with(run(), network_error_box("Cannot parse patch utility update information.", 0));
  EXPECT_EQ(count_of("/product/cpatch.dat"), 0u);
}

TEST_F(failure_run, a_short_client_file_ends_with_message_28_and_its_code) {
  add_small_game();
  add_client_file("uc/new.dat", "a new client part", 1700000500);
  publish_and_serve();
  serve_one_byte_short("/client/uc/new.dat");
  expect_ends_with(run(), network_error_box("Cannot update patch utility.", 304));
  EXPECT_FALSE(install_.exists("uc/new.dat"));
  EXPECT_EQ(count_of("/product/cpatch.dat"), 0u);
}

TEST_F(failure_run, an_unreachable_product_header_host_ends_with_message_31) {
  add_small_game();
  publish_and_serve({"--header-hosts", server_.location() + "/client," + closed_location() + "/product"});
  expect_ends_with(run(), network_error_box("Cannot retrieve product update information.", 201));
  EXPECT_FALSE(install_.exists("gfl.mft"));
}

TEST_F(failure_run, a_patch_header_without_its_magic_ends_with_message_32) {
  add_small_game();
  publish_and_serve();
  server_.serve_not_found_page("/product/cpatch.dat");
  expect_ends_with(run(), network_error_box("Cannot open manifest update information.", 0));
  EXPECT_EQ(count_of("/product/gfl.mft"), 0u);
}

TEST_F(failure_run, a_manifest_that_does_not_inflate_ends_with_message_34_and_is_deleted) {
  add_small_game();
  publish_and_serve();
  std::string manifest = read_file(out_ / "product/gfl.mft");
  server_.serve("/product/gfl.mft", std::string(manifest.size(), 'x'));
  expect_ends_with(run(), network_error_box("Cannot parse product update information.", 0));
  EXPECT_EQ(count_of("/product/gfl.mft"), 1u);
  EXPECT_FALSE(install_.exists("gfl.mft")) << "the next run fetches it again";
  EXPECT_FALSE(install_.exists("a.dat"));
}

TEST_F(failure_run, a_short_product_file_ends_with_message_37_and_keeps_the_files_before_it) {
  add_small_game();
  publish_and_serve();
  serve_one_byte_short("/product/b.dat");
  expect_ends_with(run(), network_error_box("Could not complete product update.", 304));
  expect_release_installed({"b.dat", "login.dll"});
  EXPECT_FALSE(install_.exists("b.dat"));
  EXPECT_FALSE(install_.exists("login.dll"));
  EXPECT_EQ(install_log(), "File Copy: " + installed_path_text("a.dat") + "\r\n");
}

TEST_F(failure_run, an_update_exactly_at_the_size_limit_is_installed) {
  publish_with_packed_total(1048576, {"--max-patch-mb", "1"});
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed();
  EXPECT_NE(login_command_line(true), "");
}

TEST_F(failure_run, one_byte_over_the_size_limit_fetches_nothing_and_says_so) {
  publish_with_packed_total(1048577, {"--max-patch-mb", "1"});
  expect_ends_with(run(), size_limit_box);
  EXPECT_EQ(last_requested(), "/product/gfl.mft");
  EXPECT_FALSE(install_.exists("filler.bin"));
}

TEST_F(failure_run, a_size_limit_of_0_is_no_limit) {
  publish_with_packed_total(1048577, {"--max-patch-mb", "0"});
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed();
}

TEST_F(failure_run, cancel_at_the_prompt_ends_before_anything_is_asked_for) {
  add_small_game();
  publish_and_serve();
  run_options options;
  options.prompt = prompt_answer::cancel;
  run_outcome outcome = run(options);
  EXPECT_TRUE(outcome.prompt_seen);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_TRUE(requested().empty());
  EXPECT_FALSE(install_.exists("a.dat"));
  EXPECT_EQ(login_command_line(false), "");
}

TEST_F(failure_run, cancel_during_a_fetch_ends_silently_and_keeps_the_files_fetched_so_far) {
  add_release_file("a_first.dat", "fetched before the cancel", 1700000000);
  add_release_file("b_big.dat", incompressible_bytes(200000, 3), 1700000100);
  add_release_file("c_last.dat", "never reached", 1700000200);
  add_release_file("login.dll", read_file(CORVID_FAKE_PROGRAM), 1700000300);
  publish_and_serve();
  server_.serve_fault("/product/b_big.dat", http_fault::stalled_body, read_file(out_ / "product/b_big.dat"), 4096);
  run_options options;
  options.cancel_once_asked_for = "/product/b_big.dat";
  run_outcome outcome = run(options);
  ASSERT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed({"b_big.dat", "c_last.dat", "login.dll"});
  EXPECT_FALSE(install_.exists("b_big.dat"));
  EXPECT_FALSE(install_.exists("c_last.dat"));
  EXPECT_EQ(count_of("/product/c_last.dat"), 0u);
  EXPECT_EQ(login_command_line(false), "");
  EXPECT_TRUE(install_.exists("gfl.mft")) << "a cancelled fetch keeps the manifest";
}

TEST_F(failure_run, closing_the_window_during_a_download_ends_with_0_and_removes_the_scratch_files) {
  add_small_game();
  std::string script = "Corvid Patch\n";
  for (int i = 0; i < 100; ++i)
    script += "; a long comment so that the script takes many chunks " + std::to_string(i) + "\n";
  write_file(work_ / "commands.txt", script);
  publish_and_serve({"--commands", (work_ / "commands.txt").string()});
  server_.serve_fault("/product/command.dat", http_fault::stalled_body, read_file(out_ / "product/command.dat"), 2048);
  bool closed = false;
  bool scratch_files_were_there = false;
  run_options options;
  options.during = [&](DWORD process) {
    if (closed || count_of("/product/command.dat") == 0) return;
    HWND progress = progress_window_of(process);
    if (progress == nullptr) return;
    Sleep(300);  // the first chunks arrive and the client waits for more
    scratch_files_were_there = install_.exists("cpatch.dat") && install_.exists("command.dat");
    window_robot::close(progress);
    closed = true;
    server_.release_stalled();
  };
  run_outcome outcome = run(options);
  ASSERT_TRUE(closed);
  EXPECT_TRUE(scratch_files_were_there) << "the client list and the partial script are on disk mid-download";
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  EXPECT_FALSE(install_.exists("cpatch.dat"));
  EXPECT_FALSE(install_.exists("command.dat"));
  EXPECT_EQ(count_of("/product/cpatch.dat"), 0u);
  EXPECT_EQ(login_command_line(false), "");
}

}  // namespace

// A client with the release key installs nothing the key did not sign. Each refusal
// shows one box, and the installed release, the previous one, stays as it was.
TEST_F(failure_run, a_keyed_client_refuses_what_the_key_did_not_sign_and_keeps_the_installed_release) {
  use_keyed_client();
  add_small_game();
  add_release_file("big.bin", incompressible_bytes(20000, 1), 1700000300);
  const std::vector<std::string> sign{"--sign", test_release_key_file()};
  publish(sign);
  publish(sign);  // serial 2
  serve_published();
  point_update_location_at(server_.location() + "/info.txt");
  ASSERT_TRUE(run().boxes.empty());
  ASSERT_EQ(install_.read("cserial.dat"), kept_serials(2, 2));
  ASSERT_NE(login_command_line(true), "");
  fs::remove(install_ / "login.dll.cmdline");

  // The next release (serial 3) changes big.bin.
  const std::string installed = install_.read("big.bin");
  release_files_.back().bytes = incompressible_bytes(20000, 2);
  write_file(release_ / "big.bin", release_files_.back().bytes);
  set_modification_time(release_ / "big.bin", 1700000400);
  release_files_.back().time = 1700000400;
  publish(sign);
  const std::size_t packed_size = fs::file_size(out_ / "product" / "big.bin");

  struct refusal {
    const char* what;
    std::function<void()> serve;
    int code;
  };
  const std::vector<refusal> refusals = {
      {"no document", [&] { server_.serve_not_found_page("/product/csigned.dat"); }, 401},
      {"one flipped bit",
       [&] {
         std::string document = read_file(out_ / "product" / signed_document_file_name);
         document[document.find("files")] ^= 0x20;
         server_.serve("/product/csigned.dat", document);
       },
       402},
      {"an expired document",
       [&] {
         server_.serve("/product/csigned.dat",
                       resigned_document("product", [](signed_release& release) { release.expires = 1000000000; }));
       },
       404},
      {"an older serial",
       [&] {
         server_.serve("/product/csigned.dat",
                       resigned_document("product", [](signed_release& release) { release.serial = 1; }));
       },
       405},
      // Its lengths and CRC-32 are those the list gives: only the digest tells the
      // files apart.
      {"a swapped file",
       [&] {
         server_.serve("/product/big.bin",
                       swapped_stream("", 20000, packed_size,
                                      crc32(0, reinterpret_cast<const Bytef*>(release_files_.back().bytes.data()),
                                            static_cast<uInt>(release_files_.back().bytes.size()))));
       },
       310},
  };
  for (const refusal& each : refusals) {
    CORVID_TRACE(each.what);
    serve_published();
    each.serve();
    expect_ends_with(run(), network_error_box("The update could not be verified.", each.code));
    EXPECT_EQ(install_.read("big.bin"), installed);
    EXPECT_TRUE(install_.read("cserial.dat") == kept_serials(3, 2) || each.code == 310) << install_.read("cserial.dat");
    expect_no_scratch_files();
  }
  expect_a_good_run_completes();
  EXPECT_EQ(install_.read("cserial.dat"), kept_serials(3, 3));
}

// Self-update takes no program the key did not sign: a talomar.exe swapped on the
// client tree is refused, and the running client stays in place.
TEST_F(failure_run, a_keyed_client_never_installs_an_unsigned_talomar_exe) {
  use_keyed_client();
  add_small_game();
  add_client_file("talomar.exe", program_bytes_ + incompressible_bytes(4096, 1), 1600000100);
  publish_and_serve({"--sign", test_release_key_file()});
  std::size_t packed_size = fs::file_size(out_ / "client" / "talomar.exe");
  server_.serve("/client/talomar.exe", swapped_stream(program_bytes_, 4096, packed_size));

  expect_ends_with(run(), network_error_box("The update could not be verified.", 310));
  EXPECT_EQ(install_.read("talomar.exe"), program_bytes_);
  EXPECT_EQ(count_of("/product/csigned.dat"), 0u);
  expect_no_scratch_files();
}

}  // namespace corvid
