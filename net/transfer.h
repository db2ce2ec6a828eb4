#pragma once
// What every transfer of a body shares: it is read in chunks of this size, with one
// window message pumped between full chunks.

#include <cstddef>

namespace corvid {

inline constexpr std::size_t transfer_chunk_size = 1024;

}  // namespace corvid
