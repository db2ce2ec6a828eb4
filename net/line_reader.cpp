#include "net/line_reader.h"

int line_reader::next_char() {
  if (put_back_count_ > 0) return put_back_[--put_back_count_];
  return std::fgetc(file_);
}

void line_reader::put_back(int c) {
  if (c != EOF) put_back_[put_back_count_++] = c;
}

bool line_reader::take_line_end() {
  int c = next_char();
  if (c == '\n') return true;
  if (c == '\r') {
    int after = next_char();
    if (after == '\n') return true;
    put_back(after);
  }
  put_back(c);
  return false;
}

void line_reader::read(text_line& line) {
  char* out = line.buffer();
  std::size_t length = 0;
  while (!take_line_end()) {
    int c = next_char();
    if (c == EOF) {
      at_end_ = true;
      break;
    }
    out[length++] = static_cast<char>(c);
    if (length == text_line::capacity) {
      // A line of exactly the greatest length keeps its own line end.
      take_line_end();
      break;
    }
  }
  out[length] = '\0';
}
