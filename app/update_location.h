#pragma once
// The reader of "update.dat", which says where the server information is fetched.

#include "core/update_state.h"

namespace corvid {

enum class update_location_result { read, cannot_open, wrong_first_line, no_location };

// Reads the locations from the file at `path` into the update state. The file is read
// in text mode; a line longer than 1023 characters is cut and its rest skipped, so that
// the rest can never become a location of its own; a zero byte ends a line's text.
update_location_result read_update_location(const char* path);

}  // namespace corvid
