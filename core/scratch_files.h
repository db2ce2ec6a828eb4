#pragma once

#include "core/product.h"

namespace corvid {
// The files a run keeps in the installation folder for its own use. Start-up and the
// shutdown clean-up delete all of them, so that an interrupted run leaves none behind.

// The server information file, the update client's file list and the patch header,
// one after the other.
inline constexpr const char* server_scratch_file = list_file_name;
inline constexpr const char* command_script_file = command_script_name;
// Every fetched file is written here and moved over the installed copy only once it
// is complete, so that no failure costs the player the copy they have.
inline constexpr const char* fetch_scratch_file = "cfetch.dat";

}  // namespace corvid
