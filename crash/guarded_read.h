#pragma once
// Reads of memory that may not be there. The compiler has no structured-exception
// blocks, so the one load that may fault is caught by a vectored handler, which resumes
// the read as a failure.
#include <cstddef>
#include <cstdint>

namespace corvid {

// Registers that handler. The crash guard does it at start, so that a fault never needs
// the heap that registering takes; a read made before it registers it then.
void install_guarded_reads();

bool read_memory(uintptr_t address, void* out, size_t size);

}  // namespace corvid
