#include "crash/crash_report.h"

#include "crash/report_writer.h"

namespace {

// A plain flag: the program has one thread. Set before anything else is done, so that a
// fault raised while the report is being written cannot start a second one.
bool reported_once = false;

LONG WINAPI crash_guard_filter(EXCEPTION_POINTERS* info)
{
    return write_crash_report(info, "main thread", "patch_exc.log");
}

} // namespace

LONG write_crash_report(EXCEPTION_POINTERS* info, const char* thread_label,
                        const char* report_file_name)
{
    if (reported_once)
        return EXCEPTION_CONTINUE_SEARCH;
    reported_once = true;
    if (info != nullptr && info->ExceptionRecord != nullptr && info->ContextRecord != nullptr)
        write_report(*info, thread_label != nullptr ? thread_label : "Unknown", report_file_name);
    return EXCEPTION_CONTINUE_SEARCH;
}

void install_crash_guard()
{
    SetUnhandledExceptionFilter(crash_guard_filter);
}
