#pragma once

#include <windows.h>

namespace corvid {

// The whole program: start-up, the progress window, the main loop and the clean-up.
// Returns the process exit code.
int run_program(HINSTANCE instance, const char* command_line);

}  // namespace corvid
