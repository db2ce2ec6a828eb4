#include "patch/local_files.h"

#include <io.h>
#include <sys/stat.h>
#include <sys/utime.h>

#include <ctime>
#include <memory>
#include <new>

#include "platform/handles.h"
#include "core/update_state.h"
#include "net/directories.h"
#include "patch/checksum.h"
#include "patch/inflater.h"
#include "patch/list_format.h"

namespace corvid {

namespace {

// FILETIME counts 100 ns steps from 1601.
constexpr unsigned long long filetime_ticks_per_second = 10000000ull;
constexpr unsigned long long filetime_at_1970 = 116444736000000000ull;

}  // namespace

std::uint32_t found_time_as_listed(const FILETIME& last_write) {
  unsigned long long ticks =
      static_cast<unsigned long long>(last_write.dwHighDateTime) << 32 | last_write.dwLowDateTime;
  long long seconds = static_cast<long long>(ticks / filetime_ticks_per_second) -
                      static_cast<long long>(filetime_at_1970 / filetime_ticks_per_second);
  return static_cast<std::uint32_t>(seconds - state.file_time_bias);
}

std::uint32_t found_length(const WIN32_FIND_DATAA& found) {
  return found.nFileSizeHigh != 0 ? 0xFFFFFFFFu : found.nFileSizeLow;
}

std::uint32_t file_crc32(const char* name) {
  stdio_file file(std::fopen(name, "rb"));
  if (!file) return 0;
  // The length comes from the open file itself: one lookup of the name instead of two.
  long long length = _filelengthi64(_fileno(file.get()));
  // One buffer for every file of a check: a fresh one per file would be paged in anew.
  static unsigned char chunk[crc_read_size];
  checksum sum;
  if (length < 0 || !sum_file(file.get(), chunk, sum) || sum.size() != static_cast<unsigned long long>(length)) {
    return 0;
  }
  return sum.crc32();
}

bool stat_file(const char* name, file_entry& entry) {
  // A file Windows could not reach counts as missing, also where Wine reaches it.
  if (!full_path_fits(name)) return false;
  WIN32_FIND_DATAA found;
  find_handle search(FindFirstFileA(name, &found));
  if (!search) return false;
  entry.name.assign(name);
  entry.size = found_length(found);
  entry.time = found_time_as_listed(found.ftLastWriteTime);
  return true;
}

bool stamp_file_time(const char* name, std::uint32_t time) {
  struct _utimbuf times;
  times.actime = static_cast<time_t>(time) + _timezone;
  times.modtime = times.actime;
  return _utime(name, &times) == 0;
}

bool read_packed_file(const file_entry& packed, unsigned char* buffer, std::size_t& length) {
  if (buffer == nullptr || length < packed.size) return false;
  std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[packed.packed_size]);
  if (!bytes) return false;
  stdio_file file(std::fopen(packed.name.c_str(), "rb"));
  if (!file) return false;
  if (std::fread(bytes.get(), 1, packed.packed_size, file.get()) != packed.packed_size) return false;
  // A longer file is not the one the header describes.
  if (std::fgetc(file.get()) != EOF) return false;
  if (!inflate_whole(bytes.get(), packed.packed_size, buffer, packed.size)) return false;
  length = packed.size;
  return true;
}

bool read_patch_header(const char* path, file_entry& manifest) {
  stdio_file file(std::fopen(path, "rb"));
  if (!file) return false;
  unsigned char bytes[patch_header_size];
  std::size_t got = std::fread(bytes, 1, sizeof bytes, file.get());
  return parse_patch_header(bytes, got, manifest);
}

}  // namespace corvid
