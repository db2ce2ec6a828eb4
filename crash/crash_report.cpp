#include "crash/crash_report.h"

#include <cstdlib>
#include <exception>

#include "crash/guarded_read.h"
#include "crash/report_writer.h"

namespace corvid {

namespace {

constexpr DWORD cpp_exception_code = 0xE06D7363;
// What GCC's unwinder raises for a throw on 64-bit Windows (and, with other high bits,
// for its unwinding); when no handler took it, the unwinder expects it to be resumed,
// and then ends the program through std::terminate.
constexpr DWORD gcc_exception_mask = 0x20FFFFFF;
constexpr DWORD gcc_throw_code = 0x20474343;
// Room that the thread keeps for the report after a stack overflow: the reporter's own
// frames take well under 1 KiB, the system calls it makes several more.
constexpr ULONG reserved_stack_bytes = 16 * 1024;

// A plain flag: the program has one thread. Set before anything else is done, so that a
// fault raised while the report is being written cannot start a second one.
bool reported_once = false;

DWORD program_thread_id = 0;
// Static: a thread that faults may have almost no stack left.
char foreign_thread_label[48];

// A fault in any thread ends the whole process, so threads that the program did not
// start (a system library's workers, code injected from outside) are reported too, under
// a label that tells them from the program's own.
const char* label_of_faulting_thread() {
  DWORD id = GetCurrentThreadId();
  if (id == program_thread_id) return "main thread";
  wsprintfA(foreign_thread_label, "another thread (id %lu)", id);
  return foreign_thread_label;
}

LONG WINAPI crash_guard_filter(EXCEPTION_POINTERS* info) {
  if (info != nullptr && info->ExceptionRecord != nullptr &&
      (info->ExceptionRecord->ExceptionCode & gcc_exception_mask) == gcc_throw_code &&
      (info->ExceptionRecord->ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0)
    return EXCEPTION_CONTINUE_EXECUTION;
  return write_crash_report(info, label_of_faulting_thread(), "patch_exc.log");
}

// A C++ exception that nothing catches ends in std::terminate, which GCC's runtime turns
// into a silent abort. Raised as the code that Windows knows C++ exceptions by, it
// reaches the guard like any other fault.
[[noreturn]] void report_uncaught_exception() {
  RaiseException(cpp_exception_code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  std::abort();
}

// Not on every Windows the program supports, hence looked up.
void reserve_stack_for_the_report() {
  using set_guarantee_function = BOOL(WINAPI*)(PULONG);
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  FARPROC found = kernel32 != nullptr ? GetProcAddress(kernel32, "SetThreadStackGuarantee") : nullptr;
  if (found == nullptr) return;
  ULONG size = reserved_stack_bytes;
  reinterpret_cast<set_guarantee_function>(reinterpret_cast<void (*)()>(found))(&size);
}

}  // namespace

LONG write_crash_report(EXCEPTION_POINTERS* info, const char* thread_label, const char* report_file_name) {
  if (reported_once) return EXCEPTION_CONTINUE_SEARCH;
  reported_once = true;
  if (info != nullptr && info->ExceptionRecord != nullptr && info->ContextRecord != nullptr)
    write_report(*info, thread_label != nullptr ? thread_label : "Unknown", report_file_name);
  return EXCEPTION_CONTINUE_SEARCH;
}

void install_crash_guard() {
  program_thread_id = GetCurrentThreadId();
  install_guarded_reads();
  reserve_stack_for_the_report();
  std::set_terminate(report_uncaught_exception);
  SetUnhandledExceptionFilter(crash_guard_filter);
}

}  // namespace corvid
