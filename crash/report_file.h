#pragma once
// The report file: every piece of the report is formatted by the system formatter and
// written at once, unbuffered, because the reporter runs inside a fault and must not
// lean on the heap or on a runtime that may be the very thing that broke.
#include <windows.h>

#include "platform/handles.h"

namespace corvid {

class report_file {
 public:
  // Takes ownership of the handle (INVALID_HANDLE_VALUE for none).
  explicit report_file(HANDLE owned) : handle(owned) {}

  bool is_open() const { return handle.valid(); }

  // Write errors are ignored: there is nobody to tell.
  void write(const char* text, int length);
  // printf-style conversions of wvsprintfA; one piece is at most 1023 characters.
  void print(const char* format, ...);

 private:
  kernel_handle handle;
};

// Opens (or creates) the file without sharing and moves to its end, so that reports
// accumulate.
HANDLE open_report_for_append(const char* path);

}  // namespace corvid
