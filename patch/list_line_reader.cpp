#include "patch/list_line_reader.h"

int list_line_reader::peek(std::size_t ahead) {
  if (file_ == nullptr) {
    std::size_t at = position_ + ahead;
    return at < text_.size() ? static_cast<unsigned char>(text_[at]) : -1;
  }
  while (lookahead_count_ <= ahead) {
    int c = std::getc(file_);
    if (c == EOF) return -1;
    lookahead_[lookahead_count_++] = c;
  }
  return lookahead_[ahead];
}

void list_line_reader::skip(std::size_t count) {
  if (file_ == nullptr) {
    position_ += count;
    return;
  }
  for (std::size_t i = 0; i < count && lookahead_count_ > 0; ++i) {
    lookahead_[0] = lookahead_[1];
    --lookahead_count_;
  }
}

bool list_line_reader::next_line(char* out, std::size_t capacity) {
  if (capacity == 0) return false;
  out[0] = '\0';
  if (peek(0) < 0) return false;
  std::size_t used = 0;
  while (used + 1 < capacity) {
    int c = peek(0);
    if (c < 0) break;
    if (c == '\n') {
      skip(1);
      break;
    }
    if (c == '\r') {
      int after = peek(1);
      if (after == '\n' || after < 0) {
        skip(after < 0 ? 1 : 2);
        break;
      }
    }
    out[used++] = static_cast<char>(c);
    skip(1);
  }
  out[used] = '\0';
  return true;
}
