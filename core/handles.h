#pragma once
// Owners for every kind of handle the program opens, so that each handle is closed by
// the operation that opened it on every path, by construction.

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <utility>

template <typename Traits>
class owned_handle {
 public:
  using handle_type = typename Traits::handle_type;

  owned_handle() = default;
  explicit owned_handle(handle_type handle) : handle_(handle) {}
  ~owned_handle() { reset(); }

  owned_handle(const owned_handle&) = delete;
  owned_handle& operator=(const owned_handle&) = delete;
  owned_handle(owned_handle&& other) noexcept : handle_(other.release()) {}
  owned_handle& operator=(owned_handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  handle_type get() const { return handle_; }
  bool valid() const { return Traits::valid(handle_); }
  explicit operator bool() const { return valid(); }

  // The close keeps the thread's last error, so that a failure's reason can still be
  // read after the handles of the failed operation are gone.
  void reset(handle_type handle = Traits::none()) {
    if (Traits::valid(handle_)) {
      DWORD error = GetLastError();
      Traits::close(handle_);
      SetLastError(error);
    }
    handle_ = handle;
  }

  handle_type release() { return std::exchange(handle_, Traits::none()); }

 private:
  handle_type handle_ = Traits::none();
};

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

struct stdio_file_traits {
  using handle_type = std::FILE*;
  static std::FILE* none() { return nullptr; }
  static bool valid(std::FILE* f) { return f != nullptr; }
  static void close(std::FILE* f) { std::fclose(f); }
};

using kernel_handle = owned_handle<kernel_handle_traits>;
using find_handle = owned_handle<find_handle_traits>;
using internet_handle = owned_handle<internet_handle_traits>;
using stdio_file = owned_handle<stdio_file_traits>;
