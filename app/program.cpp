#include "app/program.h"

#include <stdlib.h>

#include "app/driver.h"
#include "app/elevation.h"
#include "core/message_pump.h"
#include "app/progress_window.h"
#include "app/resources/resource_ids.h"
#include "core/shutdown.h"
#include "app/startup.h"
#include "core/update_state.h"

namespace corvid {

namespace {

// No sleeping or pacing: a driver step runs every time the queue is empty, and the
// loop ends only through the quit message.
int run_main_loop() {
  for (;;) {
    int quit_code = 0;
    switch (pump_waiting_message(quit_code)) {
      case pump_result::quit: return quit_code;
      case pump_result::dispatched: break;
      case pump_result::nothing_waiting: run_driver_step(); break;
    }
  }
}

}  // namespace

int run_program(HINSTANCE instance, const char* command_line) {
  state.instance_handle = instance;
  // Longer command lines are cut: the text is passed on whole, never parsed.
  bool elevated_run = false;
  state.launch_arguments.assign(launch_arguments_of(command_line != nullptr ? command_line : "", elevated_run));

  prepare_startup(elevated_run);
  srand(GetTickCount());

  state.progress_window =
      CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr, progress_window_procedure, 0);
  if (state.progress_window == nullptr) return 1;
  init_progress_window();

  int exit_code = run_main_loop();
  shutdown_cleanup();
  return exit_code;
}

}  // namespace corvid
