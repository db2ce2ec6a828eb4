#pragma once
#include <windows.h>

namespace corvid {

// The description of an exception code for the report's first line, "Unknown exception
// type" when the code is not listed.
const char* describe_exception(DWORD code);

}  // namespace corvid
