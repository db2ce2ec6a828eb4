#pragma once
// Times in the lists are local wall-clock seconds without daylight saving. The client
// stamps an installed file with that number plus its own zone's standard offset, so
// a player whose standard offset matches the publisher's gets the release's times.

#include <cstdint>
#include <optional>

namespace corvid::publish {

// The publishing machine's standard offset, seconds east of UTC.
long machine_standard_utc_offset();

// The list time of a UTC modification time; none when it falls outside 32 bits.
std::optional<std::uint32_t> list_time(std::int64_t utc_seconds, long utc_offset);

}  // namespace corvid::publish
