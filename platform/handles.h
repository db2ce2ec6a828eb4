#pragma once
// The owners of the system's handles: kernel objects, searches and WinINet handles.

#include <windows.h>
#include <wininet.h>

#include "platform/owned_handle.h"

namespace corvid {

// Kernel objects: files, snapshots, processes, threads. Calls disagree on whether
// failure is NULL or INVALID_HANDLE_VALUE, so neither counts as a handle.
struct kernel_handle_traits {
  using handle_type = HANDLE;
  static HANDLE none() { return INVALID_HANDLE_VALUE; }
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { CloseHandle(h); }
};

struct find_handle_traits {
  using handle_type = HANDLE;
  static HANDLE none() { return INVALID_HANDLE_VALUE; }
  static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(HANDLE h) { FindClose(h); }
};

struct internet_handle_traits {
  using handle_type = HINTERNET;
  static HINTERNET none() { return nullptr; }
  static bool valid(HINTERNET h) { return h != nullptr; }
  static void close(HINTERNET h) { InternetCloseHandle(h); }
};

using kernel_handle = owned_handle<kernel_handle_traits>;
using find_handle = owned_handle<find_handle_traits>;
using internet_handle = owned_handle<internet_handle_traits>;

}  // namespace corvid
