#include "tests/patch/patch_fixture.h"

#include <direct.h>
#include <sys/stat.h>
#include <sys/utime.h>
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "core/update_state.h"

namespace corvid {

patch_test::patch_test() {
  _getcwd(state.installation_directory.buffer(), state.installation_directory.buffer_size());
  use_time_zone("EST5EDT", 18000);
}

void patch_test::use_time_zone(const char* zone, std::int32_t file_time_bias) {
  std::string setting = std::string("TZ=") + zone;
  _putenv(setting.c_str());
  _tzset();
  state.file_time_bias = file_time_bias;
}

std::string patch_test::installation() const { return state.installation_directory.c_str(); }

std::string packed(const std::string& bytes) {
  uLongf length = compressBound(static_cast<uLong>(bytes.size()));
  std::vector<unsigned char> out(length);
  compress(out.data(), &length, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()));
  return std::string(reinterpret_cast<const char*>(out.data()), length);
}

std::string varied_bytes(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 3));
  return bytes;
}

std::uint32_t crc_of(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::int64_t stamped_time_of(std::uint32_t time) { return static_cast<std::int64_t>(time) + _timezone; }

std::int64_t modification_time(const std::string& name) {
  struct _stati64 info;
  if (_stati64(name.c_str(), &info) != 0) return -1;
  return info.st_mtime;
}

void set_modification_time(const std::string& name, std::int64_t utc_seconds) {
  struct _utimbuf times;
  times.actime = static_cast<time_t>(utc_seconds);
  times.modtime = static_cast<time_t>(utc_seconds);
  _utime(name.c_str(), &times);
}

std::string entry_line_for(const std::string& name, const std::string& bytes, std::uint32_t time) {
  char line[600];
  std::snprintf(line, sizeof line, "%zx,%zx,%08x,%x,%s", bytes.size(), packed(bytes).size(), crc_of(bytes), time,
                name.c_str());
  return line;
}

locked_file::locked_file(const std::string& name)
    : handle_(CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
  EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << name;
}

locked_file::~locked_file() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

}  // namespace corvid
