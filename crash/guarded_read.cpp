#include "crash/guarded_read.h"

#include <windows.h>

namespace {

// ReadProcessMemory alone is not enough: under Wine it reads committed pages whatever
// their protection, where a plain read would fault.
bool readable(uintptr_t address)
{
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(reinterpret_cast<LPCVOID>(address), &region, sizeof region) == 0)
        return false;
    return region.State == MEM_COMMIT &&
           (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) == 0;
}

} // namespace

bool read_memory(uintptr_t address, void* out, size_t size)
{
    if (size == 0)
        return true;
    if (address > UINTPTR_MAX - (size - 1))
        return false;
    uintptr_t last = address + (size - 1);
    if (!readable(address) || !readable(last))
        return false;
    SIZE_T done = 0;
    return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(address), out,
                             size, &done) &&
           done == size;
}
