#pragma once

#include "core/scratch_files.h"

namespace corvid {

// Releases the string table and the file list and deletes the scratch files. Runs at
// the end of every run and on the quit path of every nested pump.
void shutdown_cleanup();

// Deletes every scratch file in the installation folder, ignoring failures.
void delete_scratch_files();

}  // namespace corvid
