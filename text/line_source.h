#pragma once
// The one way the program reads text a line at a time: from bytes in memory or from a
// stream, into a fixed buffer that is always terminated. A line ends at a line feed,
// which is consumed and not stored. What happens to a line longer than the buffer is
// named by the caller, since the files differ in it. Needs no windows.h.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "text/fixed_text.h"

namespace corvid {

// What a line that does not fit the buffer becomes.
enum class long_line {
  // The buffer's worth is one line and the rest the next, as fgets splits it: a line that
  // fills the buffer exactly is followed by an empty one.
  split,
  // The same, except that a line that fills the buffer exactly keeps its own line end.
  split_keeping_end,
  // The buffer's worth is the line; the rest of it is skipped.
  cut,
};

// How the bytes are taken.
enum class line_ends {
  // As the C runtime's text mode reads a file on Windows, whatever the stream's own mode:
  // a carriage return right before a line feed (or the end) is not part of the line, and
  // a Ctrl-Z ends the file. Bytes in memory read so too, as the file they will be.
  text_mode,
  // The same, except that a Ctrl-Z is a byte like any other: for text that was never a
  // file, such as an inflated manifest.
  inflated_text,
  // As the stream delivers them: only a line feed ends a line. For streams the runtime
  // already reads in text mode, and for files read in binary mode.
  as_read,
};

class line_source {
 public:
  explicit line_source(std::string_view bytes, line_ends ends = line_ends::text_mode)
      : bytes_(ends == line_ends::text_mode ? bytes.substr(0, bytes.find(end_of_file_mark)) : bytes), ends_(ends) {}
  explicit line_source(const char* text, line_ends ends = line_ends::text_mode)
      : line_source(std::string_view(text), ends) {}
  // The source keeps a view: the bytes must outlive it.
  explicit line_source(std::string&&, line_ends = line_ends::text_mode) = delete;
  // Reads from the stream's current position; the stream stays the caller's.
  explicit line_source(std::FILE* file, line_ends ends = line_ends::text_mode) : file_(file), ends_(ends) {}

  // Reads the next line into `out`, which has room for `capacity` - 1 characters and
  // its terminating zero. False, with `out` empty, when nothing was left to read. A zero
  // byte in the line is stored like any other, so the text ends there.
  bool next(char* out, std::size_t capacity, long_line rule);

  template <std::size_t N>
  bool next(fixed_text<N>& line, long_line rule) {
    return next(line.buffer(), N, rule);
  }

  // True once a read has met the end: the line just read was the last.
  bool at_end() const { return at_end_; }
  // True when the line just read was ended by a line feed.
  bool ended_by_line_feed() const { return ended_by_line_feed_; }
  // How many lines have been read: the number of the line just read, counting from 1.
  std::size_t line_number() const { return line_number_; }

  static constexpr char end_of_file_mark = 0x1a;

 private:
  // The byte `ahead` places past the current one, or -1 past the end.
  int peek(std::size_t ahead);
  void skip(std::size_t count);
  // Consumes the line end at the current place, if there is one there.
  bool take_line_end();

  std::string_view bytes_;
  std::size_t position_ = 0;
  std::FILE* file_ = nullptr;
  line_ends ends_;
  int lookahead_[2] = {};
  std::size_t lookahead_count_ = 0;
  bool stream_ended_ = false;
  bool at_end_ = false;
  bool ended_by_line_feed_ = false;
  std::size_t line_number_ = 0;
};

}  // namespace corvid
