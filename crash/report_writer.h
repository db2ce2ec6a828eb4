#pragma once
// The report itself, without the once-per-process rule of write_crash_report.
#include <cstdint>
#include <windows.h>

namespace corvid {

void write_report(const EXCEPTION_POINTERS& info, const char* thread_label, const char* report_file_name);

// The top of the calling thread's stack, from its thread information block: the stack
// dump never reads above it.
uintptr_t current_stack_base();

}  // namespace corvid
