#pragma once
// The report's small texts, made from plain values so that both register layouts can be
// checked on either build.
#include <cstdint>
#include <windows.h>

namespace corvid {

// Lower-case hexadecimal with exactly digit_count digits (8 or 16). wsprintfA has no
// portable 64-bit conversion, so wide values are printed as two 32-bit halves.
struct hex_text {
  char digits[17];
};
hex_text format_hex(uint64_t value, int digit_count);

// Addresses take the width of the build's pointers: 8 digits on i686, 16 on x86_64.
constexpr int address_digits = static_cast<int>(sizeof(void*) * 2);
inline hex_text format_address(uintptr_t address) { return format_hex(address, address_digits); }

// "month/day/year hour:minute:second" from the two-byte date and time of the old file
// system, so seconds are always even.
struct date_text {
  char text[32];
};
date_text format_dos_date_time(WORD dos_date, WORD dos_time);
// A UTC file time in local time; empty when either conversion fails (for example before
// 1980, which the old date format cannot hold).
date_text format_file_time(const FILETIME& utc);

// Total physical memory in MiB, rounded up. 64-bit arithmetic: on i686 the byte count can
// be 0xFFFFFFFF, and adding the rounding there would wrap to almost nothing.
uint64_t megabytes_rounded_up(uint64_t bytes);

}  // namespace corvid
