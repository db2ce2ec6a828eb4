#include "core/message_pump.h"

#include "core/shutdown.h"
#include "core/update_state.h"

namespace corvid {

pump_result pump_waiting_message(int& quit_code) {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) return pump_result::nothing_waiting;
  BOOL got = GetMessageA(&message, nullptr, 0, 0);
  if (got == 0) {
    quit_code = static_cast<int>(message.wParam);
    return pump_result::quit;
  }
  if (got == -1) return pump_result::dispatched;
  if (state.progress_window != nullptr && IsDialogMessageA(state.progress_window, &message)) {
    return pump_result::dispatched;
  }
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return pump_result::dispatched;
}

void take_quit_path(int exit_code) {
  shutdown_cleanup();
  ExitProcess(static_cast<UINT>(exit_code));
}

}  // namespace corvid
