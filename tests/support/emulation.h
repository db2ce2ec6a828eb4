#pragma once
// Whether this test program, and the client it tests, run emulated, and what a test
// cannot see there. The kernel of the test machines runs no 32-bit code, so a 32-bit
// build runs here only under 32-bit Wine through qemu-user (README: "How the 32-bit
// build is tested"). This is the one list of what the emulated build leaves to the
// x86_64 one, each with its reason.

namespace corvid {

// qemu-user keeps one descriptor table for the whole process, so a thread that comes
// back from a signal handler may go on with the thread-local storage of the thread
// started last; Wine takes every exception through a signal. An emulated process must
// therefore keep to one thread (tests/support/one_thread.h).
inline constexpr bool under_emulation = sizeof(void*) == 4;

// A memory fault reaches Wine without the processor's trap number, and Wine reports it
// as an illegal instruction or, now and then, as the access violation it is: the code
// and the address written are checked only where the fault kept them.
inline constexpr bool faults_keep_their_code = !under_emulation;

// A thread started inside the emulated client is the second thread that breaks it:
// now and then the client then hangs or dies before its crash guard has written
// anything. The runs that fault the client on a thread started from outside are
// x86_64's; its faults on its own thread are tested on both builds. Such a test is
// named with CORVID_NOT_EMULATED, which registers it as disabled there, so that every
// run lists it as not run. (GTEST_SKIP would not do: a skip, as a failure, starts
// GoogleTest's watcher thread, and the test program then dies before it says so.)
#if defined(__i386__)
#define CORVID_NOT_EMULATED(test_name) DISABLED_##test_name
#else
#define CORVID_NOT_EMULATED(test_name) test_name
#endif

// Wine's server reads another process's memory at the host's address, which qemu puts
// 4 KiB away from the program's: the command line of another process is read only on
// x86_64.
inline constexpr bool other_processes_readable = !under_emulation;

}  // namespace corvid
