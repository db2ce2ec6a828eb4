#include "publish/progress.h"

#include <string>

#include "publish/platform.h"

namespace corvid::publish {

namespace {
std::string mebibytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
  return text;
}

std::string duration(double seconds) {
  long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%ld h %02ld min", whole / 3600, whole / 60 % 60);
  else if (whole >= 60)
    std::snprintf(text, sizeof text, "%ld min %02ld s", whole / 60, whole % 60);
  else
    std::snprintf(text, sizeof text, "%ld s", whole);
  return text;
}
}  // namespace

progress_display::progress_display(std::FILE* stream, bool enabled, const byte_counter& done, std::uint64_t total)
    : stream_(stream), enabled_(enabled && is_terminal(stream)), done_(done), total_(total) {}

void progress_display::show() {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  if (shown_ && now - drawn_ < std::chrono::milliseconds(250)) return;
  drawn_ = now;
  shown_ = true;
  double done = static_cast<double>(done_.load());
  double total = static_cast<double>(total_);
  double seconds = std::chrono::duration<double>(now - start_).count();
  double rate = seconds > 0 ? done / seconds : 0;
  std::string line = mebibytes(done) + " of " + mebibytes(total);
  if (total > 0) line += " (" + std::to_string(static_cast<int>(done * 100 / total)) + " %)";
  if (rate > 0) {
    line += ", " + mebibytes(rate) + "/s";
    if (total > done) line += ", " + duration((total - done) / rate) + " left";
  }
  std::size_t length = line.size();
  // Blanks over what a longer line before left; not every console knows escapes.
  if (length < drawn_length_) line.append(drawn_length_ - length, ' ');
  drawn_length_ = length;
  std::fprintf(stream_, "\r%s", line.c_str());
  std::fflush(stream_);
}

void progress_display::finish() {
  if (!shown_) return;
  std::fprintf(stream_, "\r%s\r", std::string(drawn_length_, ' ').c_str());
  std::fflush(stream_);
  shown_ = false;
  drawn_length_ = 0;
}

}  // namespace corvid::publish
