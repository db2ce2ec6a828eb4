#pragma once

namespace corvid {

// One step of the update run: the work of the current driver state, then the next
// state. Called by the main loop whenever the message queue is empty.
void run_driver_step();

}  // namespace corvid
