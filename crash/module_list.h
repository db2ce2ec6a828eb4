#pragma once
// The list of the modules loaded in the process, found by walking the address space
// rather than by asking the loader, whose own data may be what the fault damaged.
#include <cstdint>

#include "crash/report_file.h"

namespace corvid {

void write_module_list(report_file& file);

// One line for the image loaded at base:
//   <full path>, loaded at 0x<address> - <size> bytes - <link time stamp><date suffix>
// Writes nothing when base holds no image with a known file name.
void write_module_line(report_file& file, uintptr_t base);

}  // namespace corvid
