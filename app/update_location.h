#pragma once
// The reader of "update.dat", which says where the server information is fetched.

#include <cstdio>

#include "core/update_state.h"

enum class update_location_result { read, wrong_first_line, no_location };

// Reads the locations into the update state from `file`, opened in text mode. A line
// longer than 1023 characters is cut and its rest skipped, so that the rest can never
// become a location of its own; a zero byte ends a line's text.
update_location_result read_update_location(std::FILE* file);
