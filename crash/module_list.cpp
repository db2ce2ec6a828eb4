#include "crash/module_list.h"

#include <windows.h>

#include "crash/guarded_read.h"
#include "crash/report_text.h"
#include "platform/handles.h"

namespace corvid {

namespace {

// The 32-bit walk covers the whole 4 GiB, as any 32-bit process can see no more; a
// 64-bit process has its images far above that, so its walk goes to the top of the
// application's address space.
uint64_t walk_limit(const SYSTEM_INFO& system) {
#ifdef _WIN64
  return reinterpret_cast<uint64_t>(system.lpMaximumApplicationAddress) + 1;
#else
  (void)system;
  return 0x100000000ull;
#endif
}

// The link time stamp from the image's file header, when base holds an image.
bool read_image_time_stamp(uintptr_t base, DWORD& time_stamp) {
  char mz[2];
  if (!read_memory(base, mz, sizeof mz) || mz[0] != 'M' || mz[1] != 'Z') return false;
  DWORD header_offset = 0;
  if (!read_memory(base + 0x3C, &header_offset, sizeof header_offset)) return false;
  uintptr_t header = base + header_offset;
  char signature[4];
  if (!read_memory(header, signature, sizeof signature) || signature[0] != 'P' || signature[1] != 'E' ||
      signature[2] != '\0' || signature[3] != '\0')
    return false;
  return read_memory(header + 8, &time_stamp, sizeof time_stamp);
}

// Static, as the reporter may be short of stack.
char path[MAX_PATH];
char date_suffix[64];

}  // namespace

void write_module_line(report_file& file, uintptr_t base) {
  DWORD path_length = GetModuleFileNameA(reinterpret_cast<HMODULE>(base), path, sizeof path);
  if (path_length == 0 || path_length >= sizeof path) return;
  DWORD time_stamp = 0;
  if (!read_image_time_stamp(base, time_stamp)) return;

  DWORD size = 0;
  date_suffix[0] = '\0';
  kernel_handle module_file(
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (module_file) {
    size = GetFileSize(module_file.get(), nullptr);
    FILETIME written;
    if (GetFileTime(module_file.get(), nullptr, nullptr, &written))
      wsprintfA(date_suffix, " - file date is %s", format_file_time(written).text);
  }
  file.print("%s, loaded at 0x%s - %d bytes - %08x%s\r\n", path, format_address(base).digits, size, time_stamp,
             date_suffix);
}

void write_module_list(report_file& file) {
  file.print("\r\n\tModule list: names, addresses, sizes, time stamps and file times:\r\n");

  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const uint64_t page_size = system.dwPageSize;
  const uint64_t limit = walk_limit(system);

  uintptr_t last_reported_base = 0;
  uint64_t address = 0;
  while (address < limit) {
    MEMORY_BASIC_INFORMATION region;
    SIZE_T answered = VirtualQuery(reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)), &region, sizeof region);
    uint64_t advance = answered == 0 ? 0 : region.RegionSize / page_size * page_size;
    if (advance == 0) {
      address += 0x10000;
      continue;
    }
    address += advance;
    uintptr_t base = reinterpret_cast<uintptr_t>(region.AllocationBase);
    if (region.State == MEM_COMMIT && base > last_reported_base) {
      last_reported_base = base;
      write_module_line(file, base);
    }
  }
}

}  // namespace corvid
