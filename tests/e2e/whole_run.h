#pragma once
// Whole runs of the real program: a release published with corvid-publish, served by
// the test HTTP server (or by nginx), and talomar.exe started in a fresh install
// folder by the window robot, which answers every window the run shows and records it.
//
// The program runs in a zone with a daylight-saving rule (EST5EDT), where the cheap
// size-and-time check applies, and the release is published with that zone's standard
// offset, so that every installed file must carry exactly its release file's time.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/http_server.h"
#include "tests/support/install_folder.h"
#include "tests/support/window_robot.h"

namespace corvid {

inline constexpr const char* program_time_zone = "TZ=EST5EDT";
inline constexpr const char* publish_utc_offset = "-18000";
inline constexpr const char* launch_arguments = "-user tester -server \"eu 1\"";

// Seconds since 1970, UTC, as the file system keeps modification times.
std::int64_t modification_time(const std::filesystem::path& file);
void set_modification_time(const std::filesystem::path& file, std::int64_t seconds);
bool is_hidden(const std::filesystem::path& file);
// Bytes that zlib cannot shrink, the same for the same seed.
std::string incompressible_bytes(std::size_t count, unsigned seed);

struct shown_box {
  std::string caption;
  std::string text;
  bool operator==(const shown_box&) const = default;
};
void PrintTo(const shown_box& box, std::ostream* out);

// The network error box as the player sees it.
shown_box network_error_box(const std::string& message, int code);
// The box that asks the player to start the updated client again.
shown_box client_updated_box();

enum class prompt_answer { ok, complete_check, cancel };

struct run_options {
  prompt_answer prompt = prompt_answer::ok;
  bool play_notes = true;
  std::string arguments = launch_arguments;
  const char* time_zone = program_time_zone;
  // Cancel on the progress window, pressed once the server has been asked for this
  // target `cancel_at_count` times and `cancel_delay` has passed since; a stalled body
  // is then let go on.
  std::string cancel_once_asked_for;
  std::size_t cancel_at_count = 1;
  std::chrono::milliseconds cancel_delay{0};
  // Called on every poll while the run goes on, with the program's process id; lets a
  // case close the window during a transfer.
  std::function<void(DWORD process_id)> during;
};

struct run_outcome {
  bool ended = false;  // the program ended within the limit
  DWORD exit_code = 99;
  DWORD starter_exit_code = 99;  // talomar.exe, which hands over to patch.bin
  bool prompt_seen = false;
  bool cancelled = false;  // Cancel was pressed while the run went on
  bool notes_seen = false;
  std::string notes_text;
  std::vector<shown_box> boxes;  // message boxes, in the order they came
};

// The visible progress window of a process, or null.
HWND progress_window_of(DWORD process_id);

class whole_run : public ::testing::Test {
 protected:
  whole_run();
  // With the install folder's parent inside `place` (a small file system, say).
  explicit whole_run(const std::filesystem::path& place);
  void TearDown() override;

  // The release as it is to be installed: names as listed, with their times.
  void add_release_file(const std::string& name, const std::string& bytes, std::int64_t time);
  // Runs the client built with the tests' release key (talomar_keyed) in place of
  // talomar, and publishes that as the client tree's talomar.exe.
  void use_keyed_client();
  // The update client's own files as published (talomar.exe by default).
  void add_client_file(const std::string& name, const std::string& bytes, std::int64_t time);
  // Publishes release and client into `out` with the server information file
  // "info.txt" naming this server's "/client" and "/product" below `prefix`; the
  // options come after. Asserts that publishing succeeded.
  void publish(const std::vector<std::string>& options = {}, const std::string& prefix = "");
  // The same into `out`, for a server at `location` (a server of another process).
  void publish_to(const std::filesystem::path& out, const std::string& location,
                  const std::vector<std::string>& options = {});
  // Serves the published tree at the server's root (or below `prefix`).
  void serve_published(const std::string& prefix = "");
  // publish, serve_published and point_update_location_at this server's "info.txt".
  void publish_and_serve(const std::vector<std::string>& options = {});
  // "update.dat" names this server's "info.txt" (below `prefix`).
  void point_update_location_at(const std::string& location);

  run_outcome run(const run_options& options = {});

  // The request targets this server saw, in order, and those after `from`.
  std::vector<std::string> requested(std::size_t from = 0) const;
  std::size_t count_of(const std::string& target, std::size_t from = 0) const;
  // The last of them; empty when the server saw none (a client that never ran).
  std::string last_requested(std::size_t from = 0) const;

  // The login program's command line, once it has written it; empty when it did not
  // start within a few seconds.
  std::string login_command_line(bool expected);
  // Every release file is installed under its lower-cased name with its bytes and time.
  void expect_release_installed(const std::vector<std::string>& except = {});
  std::string install_log() const { return install_.read("install.log"); }
  // "<installation directory>\<name with backslashes>"
  std::string installed_path_text(const std::string& name) const;
  // The install folder's parent holds the install folder alone, and no listed name
  // turns up anywhere below the temporary folder outside the tests' own folders.
  void expect_nothing_written_outside();
  // None of the files a run keeps for itself is left in the install folder, nor a
  // scratch copy in any folder.
  void expect_no_scratch_files() const;
  // Serves the published tree again and runs: the installation completes, as after
  // any failed run.
  void expect_a_good_run_completes();

  struct listed_file {
    std::string name;
    std::string bytes;
    std::int64_t time;
  };
  std::vector<listed_file> release_files_;
  install_folder work_{"e2e_work"};
  // The install folder alone inside a folder of its own, so that a write beside it shows.
  install_folder install_parent_;
  install_folder install_;
  std::filesystem::path release_;
  std::filesystem::path client_;
  std::filesystem::path out_;
  // Seconds east of UTC of the zone the release is published for.
  std::string publish_utc_offset_ = publish_utc_offset;
  test_http_server server_;
  std::string program_bytes_;
};

// The tests' private release key, for "build --sign".
std::string test_release_key_file();
// What the installation keeps of the accepted serials.
std::string kept_serials(int client, int product);

// Runs the Windows build of corvid-publish; its exit code, its output in `output`.
int run_publisher(const std::vector<std::string>& arguments, std::string& output);

}  // namespace corvid
