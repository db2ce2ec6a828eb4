#pragma once
// Reads of memory that may not be there. The compiler has no structured-exception
// blocks, so the read goes through the system, which fails instead of faulting.
#include <stddef.h>
#include <stdint.h>

bool read_memory(uintptr_t address, void* out, size_t size);
