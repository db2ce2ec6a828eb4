#pragma once
// Ctrl-C, a hang-up or a termination request: long work stops at its next chunk, so
// that the run can remove its unfinished tree before it ends.

namespace corvid::publish {

void watch_interrupts();

// The signal that asked the run to stop; 0 while none did.
int interrupting_signal();
inline bool interrupted() { return interrupting_signal() != 0; }

// The shell's convention: 128 plus the signal's number (130 for Ctrl-C).
int interrupted_exit_code();

}  // namespace corvid::publish
