#pragma once
// Reads a text file line by line into a bounded text, as a text-mode stream would
// deliver it: a carriage return right before a line feed is not part of the line, and
// a line longer than the text can hold goes on as the next line. Needs no windows.h.

#include <cstdio>

#include "text/fixed_text.h"
#include "text/format_limits.h"

using text_line = fixed_text<max_text_line_length + 1>;

class line_reader {
 public:
  explicit line_reader(std::FILE* file) : file_(file) {}

  // Reads the next line into `line`. Past the end of the file every line is empty.
  void read(text_line& line);

  // True once a read has met the end of the file: the line just read was the last.
  bool at_end() const { return at_end_; }

 private:
  int next_char();
  void put_back(int c);
  bool take_line_end();

  std::FILE* file_;
  bool at_end_ = false;
  // Characters looked at and put back; a carriage return and the one after it at most.
  int put_back_[2] = {};
  int put_back_count_ = 0;
};
