#include "crash/guarded_read.h"

#include <windows.h>

bool read_memory(uintptr_t address, void* out, size_t size)
{
    SIZE_T done = 0;
    return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<LPCVOID>(address), out,
                             size, &done) &&
           done == size;
}
