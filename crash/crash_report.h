#pragma once
// The crash reporter: when the program faults, one plain-text report is appended to a
// file beside its executable, and the fault then takes its ordinary course.
#include <windows.h>

namespace corvid {

// Writes the report for the first fault of the process; later calls write nothing.
// report_file_name is a bare file name, "errorlog.txt" when null or empty. Always
// returns EXCEPTION_CONTINUE_SEARCH.
LONG write_crash_report(EXCEPTION_POINTERS* info, const char* thread_label, const char* report_file_name);

// Makes write_crash_report, with "main thread" and "patch_exc.log", the filter of every
// fault that nothing else handles.
void install_crash_guard();

}  // namespace corvid
