#include "publish/list_time.h"

#include <ctime>

namespace corvid::publish {

long machine_standard_utc_offset() {
#ifdef _WIN32
  _tzset();
  return -_timezone;
#else
  tzset();
  // POSIX keeps the standard offset here, west-positive, whatever the season.
  return -timezone;
#endif
}

std::optional<std::uint32_t> list_time(std::int64_t utc_seconds, long utc_offset) {
  std::int64_t local = utc_seconds + utc_offset;
  if (local < 0 || local > 0xFFFFFFFFll) return std::nullopt;
  return static_cast<std::uint32_t>(local);
}

}  // namespace corvid::publish
