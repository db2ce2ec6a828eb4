#include "tests/e2e/whole_run.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "app/resources/resource_ids.h"
#include "core/scratch_files.h"
#include "tests/support/emulation.h"

namespace corvid {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

namespace {

constexpr std::uint64_t filetime_of_1970 = 116444736000000000ull;
constexpr std::uint64_t filetime_ticks_per_second = 10000000ull;

bool is_update_notes(const seen_window& window) {
  return window.caption == "Update Notes" && GetDlgItem(window.handle, IDC_NOTES_TEXT) != nullptr;
}

std::string quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  return "\"" + argument + "\"";
}

std::string lower_case(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

}  // namespace

std::int64_t modification_time(const fs::path& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return -1;
  std::uint64_t ticks = (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime;
  return static_cast<std::int64_t>((ticks - filetime_of_1970) / filetime_ticks_per_second);
}

void set_modification_time(const fs::path& file, std::int64_t seconds) {
  std::uint64_t ticks = static_cast<std::uint64_t>(seconds) * filetime_ticks_per_second + filetime_of_1970;
  FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE) << file;
  EXPECT_TRUE(SetFileTime(handle, nullptr, &time, &time)) << file;
  CloseHandle(handle);
}

bool is_hidden(const fs::path& file) {
  DWORD attributes = GetFileAttributesW(file.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
}

std::string incompressible_bytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

void PrintTo(const shown_box& box, std::ostream* out) {
  *out << "{caption \"" << box.caption << "\", text \"" << box.text << "\"}";
}

shown_box network_error_box(const std::string& message, int code) {
  std::string caption = code == 0 ? "Error Message" : "Error Message (" + std::to_string(code) + ")";
  return {
      caption,
      message + "\nWait a while and try connecting again.\nIf you still cannot connect, check your Internet settings."};
}

shown_box client_updated_box() {
  return {"Corvid Update",
          "The Corvid Update client has been updated.\nPlease close this message box and run the\nprogram again."};
}

HWND progress_window_of(DWORD process_id) {
  for (const seen_window& window : visible_windows()) {
    if (window.process_id == process_id && !window.is_message_box &&
        GetDlgItem(window.handle, IDC_VERSION_TEXT) != nullptr) {
      return window.handle;
    }
  }
  return nullptr;
}

int run_publisher(const std::vector<std::string>& arguments, std::string& output) {
  std::string command_line = quoted(CORVID_PUBLISH_EXE);
  for (const std::string& argument : arguments) command_line += " " + quoted(argument);
  char log_name[MAX_PATH] = "";
  char temp[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, temp);
  GetTempFileNameA(temp, "pub", 0, log_name);
  SECURITY_ATTRIBUTES inherited{sizeof(inherited), nullptr, TRUE};
  HANDLE log = CreateFileA(log_name, GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = log;
  startup.hStdError = log;
  PROCESS_INFORMATION started{};
  int exit_code = -1;
  if (CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
    if (WaitForSingleObject(started.hProcess, 120000) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(started.hProcess, &code);
      exit_code = static_cast<int>(code);
    } else {
      TerminateProcess(started.hProcess, 99);
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
  }
  CloseHandle(log);
  output = read_file(log_name);
  DeleteFileA(log_name);
  return exit_code;
}

whole_run::whole_run() : whole_run(fs::temp_directory_path()) {}

whole_run::whole_run(const fs::path& place)
    : install_parent_("e2e_parent", place), install_("e2e_install", install_parent_.path()) {
  release_ = work_.path() / "release";
  client_ = work_.path() / "client";
  out_ = work_.path() / "out";
  fs::create_directories(release_);
  fs::create_directories(client_);
  program_bytes_ = read_file(client_program());
  install_.install_program(client_program(), "talomar.exe");
  // The game's installer makes the log; the client only adds to it.
  install_.write("install.log", "");
  add_client_file("talomar.exe", program_bytes_, 1600000000);
}

void whole_run::TearDown() { end_every_other_windowed_process(); }

void whole_run::use_keyed_client() {
  program_bytes_ = read_file(CORVID_KEYED_CLIENT_EXE);
  install_.install_program(CORVID_KEYED_CLIENT_EXE, "talomar.exe");
  add_client_file("talomar.exe", program_bytes_, 1600000000);
}

std::string test_release_key_file() { return std::string(CORVID_TEST_SUPPORT) + "/test_release_key"; }

std::string kept_serials(int client, int product) {
  return "Corvid Patch\nclient " + std::to_string(client) + "\nproduct " + std::to_string(product) + "\n";
}

void whole_run::add_release_file(const std::string& name, const std::string& bytes, std::int64_t time) {
  write_file(release_ / name, bytes);
  set_modification_time(release_ / name, time);
  release_files_.push_back({name, bytes, time});
}

void whole_run::add_client_file(const std::string& name, const std::string& bytes, std::int64_t time) {
  write_file(client_ / name, bytes);
  set_modification_time(client_ / name, time);
}

void whole_run::publish(const std::vector<std::string>& options, const std::string& prefix) {
  publish_to(out_, server_.location() + prefix, options);
}

void whole_run::publish_to(const fs::path& out, const std::string& location, const std::vector<std::string>& options) {
  // The runs serve the trees at fixed paths; the release folders have a whole run of
  // their own in tools/demo.
  std::vector<std::string> arguments{"build",          "--release",          release_.string(),
                                     "--out",          out.string(),         "--client",
                                     client_.string(), "--layout",           "flat",
                                     "--utc-offset",   publish_utc_offset_,  "--info",
                                     "info.txt",       "--client-host",      location + "/client",
                                     "--product-host", location + "/product"};
  // The emulated 32-bit publisher must keep to one thread, as every emulated program.
  if (under_emulation) arguments.insert(arguments.end(), {"--jobs", "1"});
  arguments.insert(arguments.end(), options.begin(), options.end());
  std::string output;
  ASSERT_EQ(run_publisher(arguments, output), 0) << output;
}

void whole_run::serve_published(const std::string& prefix) { server_.serve_tree(prefix, out_); }

void whole_run::publish_and_serve(const std::vector<std::string>& options) {
  publish(options);
  serve_published();
  point_update_location_at(server_.location() + "/info.txt");
}

void whole_run::point_update_location_at(const std::string& location) { install_.write_update_location(location); }

run_outcome whole_run::run(const run_options& options) {
  run_outcome outcome;
  window_robot starter;
  if (!starter.start(install_.path().string(), "talomar.exe", options.arguments, {options.time_zone})) {
    ADD_FAILURE() << "talomar.exe did not start: Windows error " << GetLastError();
    return outcome;
  }
  window_robot runner;
  bool adopted = false;
  std::set<HWND> answered;
  std::optional<clock_type::time_point> cancel_due;
  auto deadline = clock_type::now() + 60s;
  while (clock_type::now() < deadline) {
    for (const seen_window& window : visible_windows()) {
      if (answered.count(window.handle) != 0) continue;
      if (window.is_message_box) {
        outcome.boxes.push_back({window.caption, window.text});
        EXPECT_TRUE(window.shows_icon) << "a box without the warning icon: " << window.text;
        window_robot::press(window.handle, IDOK);
        answered.insert(window.handle);
      } else if (window_robot::is_start_up_prompt(window.handle)) {
        adopted = runner.adopt(window.process_id);
        outcome.prompt_seen = true;
        if (options.prompt == prompt_answer::complete_check) {
          PostMessageA(GetDlgItem(window.handle, IDC_COMPLETE_CHECK), BM_SETCHECK, BST_CHECKED, 0);
        }
        window_robot::press(window.handle, options.prompt == prompt_answer::cancel ? IDCANCEL : IDOK);
        answered.insert(window.handle);
      } else if (is_update_notes(window)) {
        outcome.notes_seen = true;
        outcome.notes_text = window_robot::control_text(window.handle, IDC_NOTES_TEXT);
        window_robot::press(window.handle, options.play_notes ? IDOK : IDCANCEL);
        answered.insert(window.handle);
      }
    }
    DWORD code = 0;
    if (adopted) {
      if (options.during) options.during(runner.process_id());
      if (!options.cancel_once_asked_for.empty() && !outcome.cancelled) {
        if (!cancel_due && count_of(options.cancel_once_asked_for) >= options.cancel_at_count) {
          cancel_due = clock_type::now() + options.cancel_delay;
        }
        HWND progress = progress_window_of(runner.process_id());
        if (cancel_due && clock_type::now() >= *cancel_due && progress != nullptr) {
          window_robot::press(progress, IDCANCEL);
          outcome.cancelled = true;
          server_.release_stalled();
        }
      }
      if (runner.has_exited(code)) {
        outcome.ended = true;
        outcome.exit_code = code;
        break;
      }
    } else if (starter.has_exited(code) && code != 0) {
      break;  // it ended without handing over: nothing more will come
    }
    std::this_thread::sleep_for(30ms);
  }
  starter.wait_for_exit(outcome.starter_exit_code, 5s);
  EXPECT_EQ(outcome.starter_exit_code, 0u) << "talomar.exe hands over to patch.bin and ends with 0";
  if (!outcome.ended) {
    std::string windows;
    for (const seen_window& window : visible_windows()) windows += " [" + window.caption + "]";
    ADD_FAILURE() << "the run did not end within its limit; prompt seen " << outcome.prompt_seen << ", notes seen "
                  << outcome.notes_seen << ", " << outcome.boxes.size() << " boxes, windows now:" << windows;
  }
  return outcome;
}

std::vector<std::string> whole_run::requested(std::size_t from) const {
  std::vector<std::string> targets;
  std::vector<http_request_record> all = server_.requests();
  for (std::size_t i = from; i < all.size(); ++i) targets.push_back(all[i].target);
  return targets;
}

std::string whole_run::last_requested(std::size_t from) const {
  std::vector<std::string> targets = requested(from);
  return targets.empty() ? std::string() : targets.back();
}

std::size_t whole_run::count_of(const std::string& target, std::size_t from) const {
  std::vector<std::string> targets = requested(from);
  return static_cast<std::size_t>(std::count(targets.begin(), targets.end(), target));
}

std::string whole_run::login_command_line(bool expected) {
  fs::path record = install_ / "login.dll.cmdline";
  auto deadline = clock_type::now() + (expected ? 10s : 1500ms);
  while (clock_type::now() < deadline) {
    if (fs::exists(record)) return read_file(record);  // renamed into place whole
    std::this_thread::sleep_for(50ms);
  }
  return {};
}

void whole_run::expect_release_installed(const std::vector<std::string>& except) {
  for (const listed_file& file : release_files_) {
    if (std::find(except.begin(), except.end(), file.name) != except.end()) continue;
    fs::path installed = install_ / lower_case(file.name);
    ASSERT_TRUE(fs::exists(installed)) << file.name;
    EXPECT_EQ(fs::file_size(installed), file.bytes.size()) << file.name;
    EXPECT_TRUE(read_file(installed) == file.bytes) << file.name << " has other content";
    EXPECT_EQ(modification_time(installed), file.time) << file.name;
  }
}

std::string whole_run::installed_path_text(const std::string& name) const {
  std::string text = install_.path().string() + "\\" + name;
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

void whole_run::expect_nothing_written_outside() {
  std::vector<fs::path> beside;
  for (const auto& entry : fs::directory_iterator(install_parent_.path())) beside.push_back(entry.path());
  EXPECT_EQ(beside, std::vector<fs::path>{install_.path()});
  std::set<std::string> listed;
  for (const listed_file& file : release_files_) listed.insert(fs::path(file.name).filename().string());
  std::error_code error;
  fs::recursive_directory_iterator it(fs::temp_directory_path(), fs::directory_options::skip_permission_denied, error);
  for (int seen = 0; !error && it != fs::recursive_directory_iterator() && seen < 200000; ++seen) {
    const fs::path& found = it->path();
    if (found.filename().string().rfind("corvid_", 0) == 0) {
      it.disable_recursion_pending();
    } else if (listed.count(found.filename().string()) != 0 && found.filename() != "login.dll") {
      ADD_FAILURE() << "written outside the install folder: " << found;
    }
    it.increment(error);
  }
}

void whole_run::expect_no_scratch_files() const {
  for (const char* name : {server_scratch_file, command_script_file, signed_document_file_name}) {
    EXPECT_FALSE(install_.exists(name)) << name;
  }
  for (const auto& entry : fs::recursive_directory_iterator(install_.path())) {
    EXPECT_FALSE(entry.is_regular_file() && names_a_scratch_copy(entry.path().filename().string())) << entry.path();
  }
}

void whole_run::expect_a_good_run_completes() {
  server_.come_back();
  serve_published();
  run_outcome outcome = run();
  EXPECT_EQ(outcome.exit_code, 0u);
  EXPECT_TRUE(outcome.boxes.empty());
  expect_release_installed();
  EXPECT_NE(login_command_line(true), "");
  expect_nothing_written_outside();
}

}  // namespace corvid
