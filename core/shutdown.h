#pragma once

// Releases the string table and the file list and deletes the scratch files. Runs at
// the end of every run and on the quit path of every nested pump.
void shutdown_cleanup();

// The scratch files of one run, deleted at start-up and at shutdown.
inline constexpr const char* server_scratch_file = "cpatch.dat";
inline constexpr const char* command_script_file = "command.dat";
