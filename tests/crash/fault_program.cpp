// A program with the crash guard that faults on purpose, for the tests of real faults.
//   crash_fault_program                     writes through a null pointer
//   crash_fault_program twice               a first fault that the program survives, then the write
//   crash_fault_program hide-module <dll>   loads the DLL, moves its file away, then the write
#include <windows.h>

#include "crash/crash_report.h"

namespace {

constexpr DWORD survivable_fault = 0xE0000001;

LPTOP_LEVEL_EXCEPTION_FILTER crash_guard = nullptr;

// Sits on top of the crash guard: every fault still reaches the guard, and the first one
// is then resumed so that the program can fault again.
LONG WINAPI resume_after_survivable_fault(EXCEPTION_POINTERS* info)
{
    crash_guard(info);
    return info->ExceptionRecord->ExceptionCode == survivable_fault
               ? EXCEPTION_CONTINUE_EXECUTION
               : EXCEPTION_CONTINUE_SEARCH;
}

// Volatile, so that the compiler cannot see the null and replace the write by a trap.
int* volatile null_target = nullptr;

} // namespace

int main(int argc, char** argv)
{
    install_crash_guard();
    if (argc > 1 && lstrcmpA(argv[1], "twice") == 0) {
        crash_guard = SetUnhandledExceptionFilter(resume_after_survivable_fault);
        RaiseException(survivable_fault, 0, 0, nullptr);
    } else if (argc > 2 && lstrcmpA(argv[1], "hide-module") == 0) {
        if (LoadLibraryA(argv[2]) == nullptr)
            return 2;
        char moved[MAX_PATH];
        if (lstrlenA(argv[2]) + 6 >= MAX_PATH)
            return 3;
        lstrcpynA(moved, argv[2], sizeof moved);
        lstrcatA(moved, ".gone");
        if (!MoveFileA(argv[2], moved))
            return 4;
    }
    *null_target = 1;
    return 0;
}
