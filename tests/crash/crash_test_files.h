#pragma once
// Real files and processes for the crash reporter's tests.
#include <windows.h>

#include <string>

#include "tests/support/install_folder.h"

namespace corvid {

// A readable page followed by one that cannot be read; end() is where the readable one
// ends (empty when the pages could not be had).
class page_before_a_hole {
 public:
  page_before_a_hole();
  ~page_before_a_hole();
  page_before_a_hole(const page_before_a_hole&) = delete;
  page_before_a_hole& operator=(const page_before_a_hole&) = delete;

  unsigned char* end() const { return readable_end; }

 private:
  unsigned char* pages = nullptr;
  unsigned char* readable_end = nullptr;
};

// The folder of the running test program, where its helper programs are built.
std::string test_program_folder();

// Runs a program and waits at most timeout_ms; returns its exit code, or -1 when it did
// not start and STILL_ACTIVE after killing one that did not end in time.
DWORD run_program(const std::string& exe, const std::string& arguments, const std::string& working_directory,
                  DWORD timeout_ms);

// The first line after a line break that begins with start, without its own line
// break; empty when there is none.
std::string line_starting_with(const std::string& text, const std::string& start);

// The text between the first `from` and the next `to`; "<no ...>" when either is missing.
std::string between(const std::string& text, const std::string& from, const std::string& to);

}  // namespace corvid
