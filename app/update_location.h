#pragma once
// The reader of "update.dat", which says where the server information is fetched.

#include <cstdio>

#include "core/update_state.h"

enum class update_location_result { read, wrong_first_line, no_location };

// Reads the locations into the update state. Lines are read in text mode; a line
// longer than 1023 characters is cut and its rest skipped, so that the rest can never
// become a location of its own.
update_location_result read_update_location(std::FILE* file);
