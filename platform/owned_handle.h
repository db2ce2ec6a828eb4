#pragma once
// The one owner of every handle the program opens, so that each handle is closed by the
// operation that opened it on every path, by construction. This part needs nothing
// but the C library: the readers that build on the host own their files with it too.

#ifdef _WIN32
#include <windows.h>
#endif

#include <cerrno>
#include <cstdio>
#include <utility>

namespace corvid {

// A close keeps the thread's last error, so that the reason of a failure can still be
// read after the handles of the failed operation are gone.
class last_error_kept {
 public:
  last_error_kept() : saved_errno_(errno) {
#ifdef _WIN32
    saved_error_ = GetLastError();
#endif
  }
  ~last_error_kept() {
    errno = saved_errno_;
#ifdef _WIN32
    SetLastError(saved_error_);
#endif
  }
  last_error_kept(const last_error_kept&) = delete;
  last_error_kept& operator=(const last_error_kept&) = delete;

 private:
  int saved_errno_;
#ifdef _WIN32
  DWORD saved_error_;
#endif
};

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

  void reset(handle_type handle = Traits::none()) {
    if (Traits::valid(handle_)) {
      last_error_kept kept;
      Traits::close(handle_);
    }
    handle_ = handle;
  }

  handle_type release() { return std::exchange(handle_, Traits::none()); }

 private:
  handle_type handle_ = Traits::none();
};

struct stdio_file_traits {
  using handle_type = std::FILE*;
  static std::FILE* none() { return nullptr; }
  static bool valid(std::FILE* f) { return f != nullptr; }
  static void close(std::FILE* f) { std::fclose(f); }
};

using stdio_file = owned_handle<stdio_file_traits>;

}  // namespace corvid
