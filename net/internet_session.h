#pragma once

namespace corvid {
// The one Internet session of a run, kept in `state.internet_session`. Every request
// of the program is opened on it.

inline constexpr const char* user_agent = "Corvid Update v. 1.32";

// Direct connection, no proxy. True when the session could be opened.
bool open_internet_session();

void close_internet_session();

}  // namespace corvid
