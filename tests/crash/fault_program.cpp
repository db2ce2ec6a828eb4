// A program with the crash guard that faults on purpose, for the tests of real faults.
//   crash_fault_program                     an illegal instruction (ud2)
//   crash_fault_program null-write          writes through a null pointer
//   crash_fault_program throw               a C++ exception that nothing catches
//   crash_fault_program twice               a first fault that the program survives, then ud2
//   crash_fault_program hide-module <dll>   loads the DLL, moves its file away, then ud2
// Before ud2 it writes "fault.txt" beside itself: the instruction's address and the base
// of a committed region that is no module, in hex, and it keeps stack_marker on its
// stack, so that the tests can hold the report against the real fault.
#include <windows.h>

#include <cstdio>
#include <stdexcept>

#include "crash/crash_report.h"

using namespace corvid;

extern "C" const char fault_instruction[] asm("corvid_fault_instruction");

namespace {

constexpr DWORD survivable_fault = 0xE0000001;
constexpr DWORD stack_marker = 0x600dcafe;

LPTOP_LEVEL_EXCEPTION_FILTER crash_guard = nullptr;

// Sits on top of the crash guard: every fault still reaches the guard, and the first one
// is then resumed so that the program can fault again.
LONG WINAPI resume_after_survivable_fault(EXCEPTION_POINTERS* info) {
  crash_guard(info);
  return info->ExceptionRecord->ExceptionCode == survivable_fault ? EXCEPTION_CONTINUE_EXECUTION
                                                                  : EXCEPTION_CONTINUE_SEARCH;
}

// Volatile, so that the compiler cannot see the null and replace the write by a trap.
int* volatile null_target = nullptr;

// An illegal instruction keeps its exception code under qemu-user, where a memory fault
// of a 32-bit program reaches Wine without the trap number it is told by.
[[noreturn]] __attribute__((noinline)) void execute_illegal_instruction() {
  asm volatile(
      ".globl corvid_fault_instruction\n"
      "corvid_fault_instruction:\n"
      "  ud2\n");
  __builtin_unreachable();
}

bool write_fault_facts(const void* region) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  while (length > 0 && path[length - 1] != '\\') --length;
  if (length == 0 || length + 10 > sizeof path) return false;
  lstrcpyA(path + length, "fault.txt");
  char facts[64];
  int facts_length = std::snprintf(facts, sizeof facts, "%llx %llx",
                                   static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(fault_instruction)),
                                   static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(region)));
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool done = WriteFile(file, facts, static_cast<DWORD>(facts_length), &written, nullptr) &&
              written == static_cast<DWORD>(facts_length);
  CloseHandle(file);
  return done;
}

}  // namespace

int main(int argc, char** argv) {
  install_crash_guard();
  if (argc > 1 && lstrcmpA(argv[1], "null-write") == 0) {
    *null_target = 1;
    return 0;
  }
  if (argc > 1 && lstrcmpA(argv[1], "throw") == 0) throw std::runtime_error("nothing catches this");
  if (argc > 1 && lstrcmpA(argv[1], "twice") == 0) {
    crash_guard = SetUnhandledExceptionFilter(resume_after_survivable_fault);
    RaiseException(survivable_fault, 0, 0, nullptr);
  } else if (argc > 2 && lstrcmpA(argv[1], "hide-module") == 0) {
    if (LoadLibraryA(argv[2]) == nullptr) return 2;
    char moved[MAX_PATH];
    if (lstrlenA(argv[2]) + 6 >= MAX_PATH) return 3;
    lstrcpynA(moved, argv[2], sizeof moved);
    lstrcatA(moved, ".gone");
    if (!MoveFileA(argv[2], moved)) return 4;
  }
  void* region = VirtualAlloc(nullptr, 0x10000, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (region == nullptr || !write_fault_facts(region)) return 5;
  volatile DWORD marker[2] = {stack_marker, stack_marker};
  (void)marker[0];
  execute_illegal_instruction();
}
