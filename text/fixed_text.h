#pragma once
// The one bounded text of the program. Every copy, append and format is cut at the
// buffer's size and the text is always terminated, so no caller can overrun it.
// Operations report whether the whole input fitted, for callers that must refuse
// rather than cut.

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace corvid {

template <std::size_t N>
class fixed_text {
  static_assert(N >= 1, "a fixed text needs room for its terminating zero");

 public:
  static constexpr std::size_t capacity = N - 1;

  fixed_text() { data_[0] = '\0'; }
  fixed_text(std::string_view text) { assign(text); }
  fixed_text(const char* text) { assign(text); }

  bool assign(std::string_view text) {
    data_[0] = '\0';
    return append(text);
  }

  bool append(std::string_view text) {
    std::size_t used = size();
    std::size_t room = capacity - used;
    std::size_t take = text.size() < room ? text.size() : room;
    std::memcpy(data_ + used, text.data(), take);
    data_[used + take] = '\0';
    return take == text.size();
  }

  bool append(char c) { return append(std::string_view(&c, 1)); }

  // printf-style; the result is cut at the buffer's size.
  bool format(const char* pattern, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, pattern);
    bool fitted = vformat(pattern, args);
    va_end(args);
    return fitted;
  }

  bool vformat(const char* pattern, va_list args) {
    int written = std::vsnprintf(data_, N, pattern, args);
    if (written < 0) {
      data_[0] = '\0';
      return false;
    }
    return static_cast<std::size_t>(written) <= capacity;
  }

  void clear() { data_[0] = '\0'; }
  bool empty() const { return data_[0] == '\0'; }
  std::size_t size() const { return std::strlen(data_); }
  const char* c_str() const { return data_; }
  // Room for writers that fill the buffer themselves (Win32 calls); they are given
  // buffer_size() and must terminate what they write.
  char* buffer() { return data_; }
  static constexpr std::size_t buffer_size() { return N; }
  std::string_view view() const { return std::string_view(data_, size()); }
  operator std::string_view() const { return view(); }

  bool operator==(std::string_view other) const { return view() == other; }

 private:
  char data_[N];
};

}  // namespace corvid
