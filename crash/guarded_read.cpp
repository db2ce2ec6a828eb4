#include "crash/guarded_read.h"

#include <windows.h>

namespace corvid {

// The one load that may fault. It returns the byte, or 0x100 when the handler below has
// sent it on to probe_fault instead. The process reads its own memory: a read through
// the system (ReadProcessMemory) is done by Wine's server at the host's address, which
// under a user-mode emulator is not the program's.
extern "C" unsigned probe_byte(const void* address) asm("corvid_probe_byte");
extern "C" const char probe_load[] asm("corvid_probe_load");
extern "C" const char probe_fault[] asm("corvid_probe_fault");

#ifdef _WIN64
asm(".text\n"
    "corvid_probe_byte:\n"
    "  xorl %eax, %eax\n"
    "corvid_probe_load:\n"
    "  movb (%rcx), %al\n"
    "  ret\n"
    "corvid_probe_fault:\n"
    "  movl $0x100, %eax\n"
    "  ret\n");
#else
asm(".text\n"
    "corvid_probe_byte:\n"
    "  movl 4(%esp), %ecx\n"
    "  xorl %eax, %eax\n"
    "corvid_probe_load:\n"
    "  movb (%ecx), %al\n"
    "  ret\n"
    "corvid_probe_fault:\n"
    "  movl $0x100, %eax\n"
    "  ret\n");
#endif

namespace {

constexpr unsigned probe_failed = 0x100;

// Vectored handlers run before any frame's handler and also for a fault raised inside
// the unhandled-exception filter, which is where the reporter runs.
LONG CALLBACK resume_after_probe(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionAddress != static_cast<const void*>(probe_load)) return EXCEPTION_CONTINUE_SEARCH;
#ifdef _WIN64
  info->ContextRecord->Rip = reinterpret_cast<DWORD64>(probe_fault);
#else
  info->ContextRecord->Eip = reinterpret_cast<DWORD>(probe_fault);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

bool probe_installed = false;

// Touching a guard page would take the guard away from a stack that may still need it,
// so pages are asked about before they are read; the probe then catches what changes in
// between.
bool readable(uintptr_t address) {
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(reinterpret_cast<LPCVOID>(address), &region, sizeof region) == 0) return false;
  return region.State == MEM_COMMIT && (region.Protect & (PAGE_NOACCESS | PAGE_GUARD)) == 0;
}

}  // namespace

void install_guarded_reads() {
  if (probe_installed) return;
  probe_installed = AddVectoredExceptionHandler(1, resume_after_probe) != nullptr;
}

bool read_memory(uintptr_t address, void* out, size_t size) {
  if (size == 0) return true;
  if (address > UINTPTR_MAX - (size - 1)) return false;
  if (!readable(address) || !readable(address + (size - 1))) return false;
  install_guarded_reads();
  auto* bytes = static_cast<unsigned char*>(out);
  for (size_t i = 0; i < size; ++i) {
    unsigned value = probe_byte(reinterpret_cast<const void*>(address + i));
    if (value == probe_failed) return false;
    bytes[i] = static_cast<unsigned char>(value);
  }
  return true;
}

}  // namespace corvid
