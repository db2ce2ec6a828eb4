#pragma once
// One listed file of a file list or manifest.

#include <cstdint>

#include "text/fixed_text.h"
#include "text/format_limits.h"

namespace corvid {

struct file_entry {
  fixed_text<max_name_length + 1> name;  // relative path
  std::uint32_t size = 0;
  std::uint32_t packed_size = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t time = 0;
  bool needs_fetch = false;
};

}  // namespace corvid
