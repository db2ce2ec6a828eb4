#pragma once
// Drives the real program from another process, as a player would: starts it, finds
// its windows and message boxes, reads their texts, presses their buttons, and waits
// for it to end. Every wait is bounded.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/handles.h"

namespace corvid {

using namespace std::chrono_literals;

struct seen_window {
  HWND handle = nullptr;
  DWORD process_id = 0;
  std::string caption;
  std::string text;  // a message box's text (static 65535); empty for other windows
  bool is_message_box = false;
  bool shows_icon = false;  // a message box with an icon beside its text
};

class window_robot {
 public:
  // Starts `program` in `folder` with `arguments` after the program name. The program
  // is started as a player's shortcut would: by its own name in its own folder.
  // `environment` entries ("NAME=value") are added to this process's own.
  bool start(const std::string& folder, const std::string& program, const std::string& arguments,
             const std::vector<std::string>& environment = {});

  // Waits for a visible top-level window of any other process whose caption is
  // `caption` (empty: any). Returns it, or a window with a null handle on time-out.
  seen_window wait_for_window(const std::string& caption, std::chrono::milliseconds limit = 20s);
  // The same for the first window that `wanted` picks.
  static seen_window wait_for_window(const std::function<bool(const seen_window&)>& wanted,
                                     std::chrono::milliseconds limit = 20s);
  // The progress window: the one with the status lines, whatever its caption says.
  static seen_window wait_for_progress_window(std::chrono::milliseconds limit = 20s);
  // The start-up prompt: the dialog with the complete-check box.
  static bool is_start_up_prompt(HWND window);
  seen_window wait_for_message_box(std::chrono::milliseconds limit = 20s);

  // Waits for the started process to end; its exit code, or nothing on time-out
  // (the process is then killed).
  bool wait_for_exit(DWORD& exit_code, std::chrono::milliseconds limit = 20s);
  // True, with the exit code, once the started process has ended; never waits.
  bool has_exited(DWORD& exit_code) const;

  // Takes over a process that the started one handed over to (its overlay copy), so
  // that the waits above follow that one. False when it has already gone.
  bool adopt(DWORD process_id);

  // The exit code of the process that owns `window` once it has ended.
  static bool wait_for_process_exit(DWORD process_id, DWORD& exit_code, std::chrono::milliseconds limit = 20s);

  static std::string control_text(HWND window, int control_id);
  static std::string caption_of(HWND window);
  // The icon a message box shows, or null. From another process the handle only
  // tells whether there is one.
  static HICON icon_of(HWND box);
  static void press(HWND window, int control_id);  // as a click on that button
  static void press_key(HWND window, WPARAM virtual_key);
  static void close(HWND window);           // WM_CLOSE, as the window manager sends it
  static void post_quit(DWORD process_id);  // WM_QUIT to the process's main thread
  // The command line of a running process, read from its process parameters (not under
  // emulation: tests/support/emulation.h).
  static std::string command_line_of(DWORD process_id);

  DWORD process_id() const { return process_id_; }
  ~window_robot();

 private:
  kernel_handle process_;
  DWORD process_id_ = 0;
};

// The program under test: this build's own talomar.exe.
std::string client_program();

// Every visible top-level window of other processes.
std::vector<seen_window> visible_windows();

// Ends every other process that shows a window.
void end_every_other_windowed_process();

}  // namespace corvid
