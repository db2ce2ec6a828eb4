#pragma once
// A Windows test program keeps to its one thread: under emulation a second one breaks
// the process sooner or later (tests/support/emulation.h). Every Windows test program
// is built with one_thread.cpp, which fails the program, under emulation, when a thread
// beside the main one is left at its end.
//
// GoogleTest on Windows keeps the stack of SCOPED_TRACE in per-thread storage, which
// starts a watcher thread for the thread that uses it; CORVID_TRACE gives the same trace
// without one. (A failure starts that thread too, but a failing test has failed anyway.)
//   for (int size : sizes) {
//     CORVID_TRACE(size);
//     EXPECT_...;  // a failure here is followed by "Trace:" and the size
//   }

#include <sstream>
#include <string>

namespace corvid {

class trace_scope {
 public:
  template <typename T>
  trace_scope(const char* file, int line, const T& value) {
    std::ostringstream text;
    text << value;
    enter(file, line, text.str());
  }
  ~trace_scope();
  trace_scope(const trace_scope&) = delete;
  trace_scope& operator=(const trace_scope&) = delete;

 private:
  static void enter(const char* file, int line, std::string text);
};

}  // namespace corvid

#define CORVID_TRACE_JOIN(a, b) a##b
#define CORVID_TRACE_NAME(line) CORVID_TRACE_JOIN(corvid_trace_, line)
#define CORVID_TRACE(value) ::corvid::trace_scope CORVID_TRACE_NAME(__LINE__)(__FILE__, __LINE__, (value))
