#include <windows.h>

#include "app/program.h"

namespace {

// The top-level guard. GCC has no structured-exception blocks, so the guard is the
// process's unhandled-exception filter; it hands the fault on to the platform's
// ordinary handling, which ends the process.
LONG WINAPI top_level_filter(EXCEPTION_POINTERS*) {
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  SetUnhandledExceptionFilter(top_level_filter);
  return run_program(instance, command_line);
}
