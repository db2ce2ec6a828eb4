#include "crash/report_text.h"

namespace corvid {

hex_text format_hex(uint64_t value, int digit_count) {
  hex_text out;
  if (digit_count > 8) {
    wsprintfA(out.digits, "%08x%08x", static_cast<DWORD>(value >> 32), static_cast<DWORD>(value));
  } else {
    wsprintfA(out.digits, "%08x", static_cast<DWORD>(value));
  }
  return out;
}

date_text format_dos_date_time(WORD dos_date, WORD dos_time) {
  date_text out;
  wsprintfA(out.text, "%d/%d/%d %02d:%02d:%02d", (dos_date >> 5) & 0x0F, dos_date & 0x1F, (dos_date >> 9) + 1980,
            dos_time >> 11, (dos_time >> 5) & 0x3F, (dos_time & 0x1F) * 2);
  return out;
}

date_text format_file_time(const FILETIME& utc) {
  FILETIME local;
  WORD dos_date = 0;
  WORD dos_time = 0;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &dos_date, &dos_time)) {
    date_text empty;
    empty.text[0] = '\0';
    return empty;
  }
  return format_dos_date_time(dos_date, dos_time);
}

uint64_t megabytes_rounded_up(uint64_t bytes) { return (bytes + 0xFFFFF) >> 20; }

}  // namespace corvid
