#pragma once
// What the plain download and the file fetcher share: the one request handle slot and
// the one 1024-byte transfer buffer. The two never run at the same time.

#include <cstddef>

#include "core/handles.h"

inline constexpr std::size_t transfer_chunk_size = 1024;

extern internet_handle request_handle;
extern char transfer_buffer[transfer_chunk_size];
