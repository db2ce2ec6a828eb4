#pragma once

namespace corvid {
// The one Internet session of a run, kept in `state.internet_session`. Every request
// of the program is opened on it.

// Direct connection, no proxy. True when the session could be opened.
bool open_internet_session();

void close_internet_session();

}  // namespace corvid
