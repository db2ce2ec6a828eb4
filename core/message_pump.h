#pragma once
// The one message pump of the program. The main loop and every long operation (a
// download, a file check, a file fetch) dispatch window messages through it, so that
// the quit path is written once.

#include <windows.h>

namespace corvid {

enum class pump_result { nothing_waiting, dispatched, quit };

// Takes at most one waiting message and dispatches it (through the progress window's
// dialog manager first). On the quit message, returns quit with its wParam in
// `quit_code` and dispatches nothing.
pump_result pump_waiting_message(int& quit_code);

// The quit path: shared clean-up, then the process ends with `exit_code`.
[[noreturn]] void take_quit_path(int exit_code);

// For long operations: dispatches at most one message; on the quit message it closes
// the caller's own handles, in the order given, and takes the quit path. It does not
// return then.
template <typename... Owners>
void pump_one_message(Owners&... own_handles) {
  int quit_code = 0;
  if (pump_waiting_message(quit_code) == pump_result::quit) {
    (own_handles.reset(), ...);
    take_quit_path(quit_code);
  }
}

}  // namespace corvid
