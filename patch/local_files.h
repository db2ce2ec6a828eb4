#pragma once
// Reading and stamping installed files: checksums, lengths and times as the lists
// state them, and the one-piece inflation of a packed file.

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "core/file_entry.h"

namespace corvid {

// The CRC-32 of the whole file, 0 when it cannot be read whole. Large files are summed
// a piece of this size at a time, so memory stays flat whatever their size.
inline constexpr std::size_t crc_read_size = 256 * 1024;
std::uint32_t file_crc32(const char* name);

// A last-write time as the lists count time: seconds since 1970, less the file-time
// bias, in the lists' unsigned 32 bits.
std::uint32_t found_time_as_listed(const FILETIME& last_write);

// A found file's length in the lists' 32 bits; a longer file reads as 0xFFFFFFFF.
std::uint32_t found_length(const WIN32_FIND_DATAA& found);

// Found: `entry` gets the name, the length and the last-write time minus the
// file-time bias.
bool stat_file(const char* name, file_entry& entry);

// Sets the access and modification times to `time` plus the time-zone offset.
bool stamp_file_time(const char* name, std::uint32_t time);

// Inflates the file `packed.name`, which must hold exactly `packed.packed_size`
// bytes, into `buffer`; true only when exactly `packed.size` bytes came out.
// `length` is the buffer's size on entry and the inflated length on success.
bool read_packed_file(const file_entry& packed, unsigned char* buffer, std::size_t& length);

// Reads the patch header file into `manifest`. False when the file cannot be opened,
// is shorter than the header or lacks its magic.
bool read_patch_header(const char* path, file_entry& manifest);

}  // namespace corvid
