#include "crash/report_file.h"

#include <cstdarg>

namespace corvid {

void report_file::write(const char* text, int length) {
  if (!is_open() || length <= 0) return;
  DWORD written = 0;
  WriteFile(handle.get(), text, static_cast<DWORD>(length), &written, nullptr);
}

void report_file::print(const char* format, ...) {
  // wvsprintfA never writes more than 1024 bytes, terminator included. Static: the
  // reporter may run on a thread with almost no stack left, and writes one piece at a
  // time.
  static char text[1024];
  va_list arguments;
  va_start(arguments, format);
  int length = wvsprintfA(text, format, arguments);
  va_end(arguments);
  write(text, length);
}

HANDLE open_report_for_append(const char* path) {
  HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
  if (handle != INVALID_HANDLE_VALUE) SetFilePointer(handle, 0, nullptr, FILE_END);
  return handle;
}

}  // namespace corvid
