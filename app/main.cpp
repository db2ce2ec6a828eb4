#include <windows.h>

#include "app/program.h"
#include "crash/crash_report.h"
#include "patch/built_in_key.h"
#include "patch/release_verification.h"

// The top-level guard: GCC has no structured-exception blocks, so the guard is the
// process's unhandled-exception filter. It writes the crash report and hands the fault
// on to the platform's ordinary handling, which ends the process.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  corvid::install_crash_guard();
  corvid::use_release_checker(corvid::built_in_release_checker());
  return corvid::run_program(instance, command_line);
}
