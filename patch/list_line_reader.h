#pragma once
// Reads the lines of a list or script into fixed buffers. A line ends at a line feed,
// and a carriage return right before it is dropped (it never takes room in the
// buffer), so lists written on either system read alike. A line longer than the
// buffer is not refused: the buffer's worth comes back as one line and the rest as the
// next, the way fgets splits it, so that a line that fills the buffer exactly is
// followed by an empty one.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "text/fixed_text.h"
#include "text/format_limits.h"

class list_line_reader {
 public:
  explicit list_line_reader(std::string_view text) : text_(text) {}
  explicit list_line_reader(const char* text) : text_(text) {}
  // The reader keeps a view: the text must outlive it.
  explicit list_line_reader(std::string&&) = delete;
  // Reads from the stream's current position; the stream stays the caller's.
  explicit list_line_reader(std::FILE* file) : file_(file) {}

  // False when nothing is left to read. `out` has room for `capacity` - 1 characters
  // and is always terminated.
  bool next_line(char* out, std::size_t capacity);

  template <std::size_t N>
  bool next_line(fixed_text<N>& line) {
    return next_line(line.buffer(), N);
  }

 private:
  // The character `ahead` places past the current one, or -1 past the end.
  int peek(std::size_t ahead);
  void skip(std::size_t count);

  std::string_view text_;
  std::size_t position_ = 0;
  std::FILE* file_ = nullptr;
  int lookahead_[2] = {};
  std::size_t lookahead_count_ = 0;
};

// Buffers of the list rules: header lines and script lines, and entry lines.
using list_text_line = fixed_text<max_text_line_length + 1>;
using list_entry_line = fixed_text<max_entry_line_length + 1>;
