#include "text/line_source.h"

namespace corvid {

int line_source::peek(std::size_t ahead) {
  if (file_ == nullptr) {
    std::size_t at = position_ + ahead;
    return at < bytes_.size() ? static_cast<unsigned char>(bytes_[at]) : -1;
  }
  while (lookahead_count_ <= ahead) {
    if (stream_ended_) return -1;
    int c = std::getc(file_);
    // What lies behind a Ctrl-Z is never read, as in the runtime's text mode.
    if (c == EOF || (c == end_of_file_mark && ends_ == line_ends::text_mode)) {
      stream_ended_ = true;
      return -1;
    }
    lookahead_[lookahead_count_++] = c;
  }
  return lookahead_[ahead];
}

void line_source::skip(std::size_t count) {
  if (file_ == nullptr) {
    position_ += count;
    return;
  }
  for (std::size_t i = 0; i < count && lookahead_count_ > 0; ++i) {
    lookahead_[0] = lookahead_[1];
    --lookahead_count_;
  }
}

bool line_source::take_line_end() {
  int c = peek(0);
  if (c < 0) {
    at_end_ = true;
    return true;
  }
  if (c == '\n') {
    skip(1);
    ended_by_line_feed_ = true;
    return true;
  }
  if (c == '\r' && ends_ != line_ends::as_read) {
    int after = peek(1);
    if (after == '\n') {
      skip(2);
      ended_by_line_feed_ = true;
      return true;
    }
    if (after < 0) {
      skip(1);
      at_end_ = true;
      return true;
    }
  }
  return false;
}

bool line_source::next(char* out, std::size_t capacity, long_line rule) {
  ended_by_line_feed_ = false;
  if (capacity == 0) return false;
  out[0] = '\0';
  if (peek(0) < 0) {
    at_end_ = true;
    return false;
  }
  std::size_t used = 0;
  for (;;) {
    // A full buffer under `split` stops before looking at what follows, as fgets does.
    bool full = used + 1 == capacity;
    if (full && rule == long_line::split) break;
    if (take_line_end()) break;
    if (full) {
      if (rule == long_line::cut) {
        while (!take_line_end()) skip(1);
      }
      break;
    }
    out[used++] = static_cast<char>(peek(0));
    skip(1);
  }
  out[used] = '\0';
  ++line_number_;
  return true;
}

}  // namespace corvid
