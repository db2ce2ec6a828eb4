#pragma once

namespace corvid {
// Asks the server information location (or a fallback) where this run fetches from,
// and whether the service is open.

// True when the hosts of the run have been set. False when nothing could be fetched,
// the answer was malformed (codes 103 to 106), the service is down (the cancel flag is
// set and the notice has been shown), or the answer redirects (the redirected flag is
// set and the new location is in place for the next call).
bool select_update_server();

}  // namespace corvid
