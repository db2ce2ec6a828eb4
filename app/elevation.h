#pragma once
// Administrator rights are asked for by the program itself, once, and only when the game
// folder cannot be written. Its manifest declares it asInvoker, so that Windows neither
// asks on every start (its names say "patch" and "update") nor redirects its writes into
// a private copy of the folder that the game never reads.

#include <string_view>

namespace corvid {

// What the command line of the elevated run starts with, ahead of the player's
// arguments. Windows gives the elevated process a fresh environment, and under Wine
// every process holds full rights, so nothing but the command line can tell the
// elevated run from the one that asked for it.
inline constexpr std::string_view elevated_run_mark = "/corvid-elevated";

// The launch arguments: `command_line` without the mark. `elevated_run` says whether
// the mark was there.
std::string_view launch_arguments_of(std::string_view command_line, bool& elevated_run);

// True unless making a file in the working directory is refused (denied access or a
// write-protected volume).
bool working_directory_can_be_written();

// Starts this program again through the "runas" verb, with the mark and then
// `launch_arguments`. False when the player declined or it could not be started.
bool start_elevated_self(const char* launch_arguments);

}  // namespace corvid
