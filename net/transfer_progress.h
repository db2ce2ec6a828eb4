#pragma once
// The transfer display: the two progress bars, the percentage title and the
// once-a-second read-out, computed from the progress counters of the update state.

#include <cstdint>

namespace corvid {

// The argument is ignored (callers pass 0); it has the shape of a download's
// progress callback.
void show_transfer_progress(int ignored);

// The same at a given reading of the millisecond clock (timeGetTime), so that tests
// can choose the time.
void show_transfer_progress_at(std::uint32_t now);

// Forgets what the display last showed. For tests.
void reset_transfer_progress_display();

}  // namespace corvid
