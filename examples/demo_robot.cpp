// Plays the player's part in the demo: starts the update client, answers the start-up
// question with OK, presses Play at the update notes, and reports what it saw.
//   demo_robot.exe [--complete-check] INSTALL_FOLDER MARKER_FILE [arguments for the client ...]
// MARKER_FILE is created as soon as the progress window says that files are being
// fetched, so that the demo can take its screenshot then. --complete-check ticks the
// prompt's complete file check before OK (the benchmark uses it).

#include <windows.h>

#include <cstdio>
#include <string>

#include "app/resources/resource_ids.h"
#include "tests/support/window_robot.h"

using namespace corvid;

namespace {

bool is_prompt(const seen_window& window) {
  return GetDlgItem(window.handle, IDC_COMPLETE_CHECK) != nullptr &&
         GetDlgItem(window.handle, IDC_STATUS_LINE_1) == nullptr;
}

bool is_notes(const seen_window& window) {
  return GetDlgItem(window.handle, IDC_NOTES_TEXT) != nullptr && GetDlgItem(window.handle, IDOK) != nullptr &&
         GetDlgItem(window.handle, IDC_STATUS_LINE_1) == nullptr;
}

bool is_progress(const seen_window& window) { return GetDlgItem(window.handle, IDC_STATUS_LINE_1) != nullptr; }

void touch(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

}  // namespace

int main(int argc, char** argv) {
  bool complete_check = argc > 1 && std::string(argv[1]) == "--complete-check";
  if (complete_check) {
    --argc;
    ++argv;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: demo_robot [--complete-check] INSTALL_FOLDER MARKER_FILE [arguments ...]\n");
    return 2;
  }
  std::string folder = argv[1];
  std::string marker = argv[2];
  std::string arguments;
  for (int i = 3; i < argc; ++i) arguments += (i > 3 ? " " : "") + std::string(argv[i]);

  window_robot robot;
  if (!robot.start(folder, "talomar.exe", arguments)) {
    std::fprintf(stderr, "demo_robot: cannot start talomar.exe in %s\n", folder.c_str());
    return 1;
  }
  bool answered_prompt = false, marked = false, pressed_play = false;
  std::string last_status;
  DWORD copy_process = 0;  // the overlay copy that the starter hands over to
  // Follows the run until no window of the client is left, at most half an hour (the
  // benchmark's first install of a whole release takes minutes under Wine).
  DWORD quiet_since = GetTickCount();
  for (DWORD started = GetTickCount(); GetTickCount() - started < 1800000; Sleep(100)) {
    std::vector<seen_window> windows = visible_windows();
    for (const seen_window& window : windows) {
      if (window.is_message_box) {
        std::printf("message box \"%s\": %s\n", window.caption.c_str(), window.text.c_str());
        window_robot::press(window.handle, IDOK);
      } else if (!answered_prompt && is_prompt(window)) {
        if (complete_check) {
          // Posted ahead of OK into the same queue, so the dialog reads it ticked.
          PostMessageA(GetDlgItem(window.handle, IDC_COMPLETE_CHECK), BM_SETCHECK, BST_CHECKED, 0);
        }
        std::printf("start-up prompt: %sOK\n", complete_check ? "complete file check, " : "");
        window_robot::press(window.handle, IDOK);
        answered_prompt = true;
      } else if (!pressed_play && is_notes(window)) {
        Sleep(1500);  // long enough for a look at the notes
        std::printf("update notes: Play\n");
        window_robot::press(window.handle, IDOK);
        pressed_play = true;
      } else if (is_progress(window)) {
        copy_process = window.process_id;
        std::string status = window_robot::control_text(window.handle, IDC_STATUS_LINE_1);
        if (status != last_status) {
          std::printf("status: %s\n", status.c_str());
          last_status = status;
        }
        if (!marked && status.rfind("Getting updated file", 0) == 0) {
          touch(marker);
          marked = true;
        }
      }
    }
    std::fflush(stdout);
    if (!windows.empty()) quiet_since = GetTickCount();
    if (GetTickCount() - quiet_since > 5000) break;
  }
  DWORD starter_exit = 0;
  robot.wait_for_exit(starter_exit, std::chrono::milliseconds(30000));
  std::printf("talomar.exe ended with exit code %ld (it hands over to patch.bin)\n", static_cast<long>(starter_exit));
  DWORD copy_exit = 0;
  if (copy_process != 0 &&
      window_robot::wait_for_process_exit(copy_process, copy_exit, std::chrono::milliseconds(30000))) {
    std::printf("patch.bin ended with exit code %ld\n", static_cast<long>(copy_exit));
  }
  return 0;
}
