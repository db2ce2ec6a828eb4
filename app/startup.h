#pragma once

#include "core/product.h"

namespace corvid {
// Everything the program does before its window exists. Several steps end the
// process: a blocked start (-1), a game folder that cannot be written (-1, or 0 once an
// elevated run has taken over), a bad "update.dat" (-1, -2, -3), or the hand-over to
// the overlay copy (0). `elevated_run`: this run was started to have administrator
// rights, and never asks for them again.

void prepare_startup(bool elevated_run);

// Makes the program's own directory the working directory; a failure is ignored.
void enter_program_directory();

// True when a running process's executable has this base name (any case).
bool is_program_running(const char* module_base_name);

inline constexpr const char* login_program_name = "login.dll";
inline constexpr const char* game_program_name = "game.dll";

}  // namespace corvid
