#pragma once
// One listed file of a file list or manifest.

#include <cstdint>

#include "text/fixed_text.h"

struct file_entry {
  fixed_text<256> name;  // relative path, at most 255 characters
  std::uint32_t size = 0;
  std::uint32_t packed_size = 0;
  std::uint32_t crc32 = 0;
  std::uint32_t time = 0;
  bool needs_fetch = false;
};

inline constexpr int max_listed_files = 7500;
