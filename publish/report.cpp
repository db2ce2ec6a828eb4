#include "publish/report.h"

#include <algorithm>
#include <cstdio>

#include "publish/platform.h"

namespace corvid::publish {

report::report(const char* command, const output_options& options) : options_(options) {
  data_["command"] = command;
  for (const char* list : {"problems", "warnings", "notes", "errors"}) data_[list] = nlohmann::json::array();
}

void report::line(const std::string& text) {
  if (plain()) std::printf("%s\n", text.c_str());
}

void report::detail(const std::string& text) {
  if (plain() && options_.verbose) std::printf("%s\n", text.c_str());
}

void report::note(const std::string& text) {
  data_["notes"].push_back(text);
  if (plain()) std::printf("note: %s\n", text.c_str());
}

void report::warning(const std::string& text) {
  data_["warnings"].push_back(text);
  if (plain()) std::fprintf(stderr, "warning: %s\n", text.c_str());
}

void report::refused(const std::string& text) {
  ++problems_;
  data_["problems"].push_back({{"code", "refused"}, {"where", ""}, {"problem", text}});
  if (!options_.json) std::fprintf(stderr, "refused: %s\n", escaped(text).c_str());
}

void report::problem(const std::string& where, const std::string& why, const char* code, const std::string& group) {
  ++problems_;
  data_["problems"].push_back({{"code", code}, {"where", where}, {"problem", why}});
  if (!group.empty()) {
    auto known = std::find_if(groups_.begin(), groups_.end(), [&](const auto& each) { return each.first == group; });
    if (known == groups_.end()) known = groups_.insert(groups_.end(), {group, 0});
    ++known->second;
  }
  if (!options_.json && (group.empty() || options_.verbose))
    std::printf("%s: %s\n", escaped(where).c_str(), escaped(why).c_str());
}

void report::error(const std::string& text) {
  data_["errors"].push_back(text);
  if (!options_.json) std::fprintf(stderr, "corvid-publish: %s\n", text.c_str());
}

int report::finish(int exit_code) {
  for (const auto& [group, count] : groups_) {
    std::size_t colon = group.rfind(": ");
    if (!options_.json && !options_.verbose)
      std::printf("%s: %zu %s\n", escaped(group.substr(0, colon)).c_str(), count, group.substr(colon + 2).c_str());
  }
  if (options_.json) {
    data_["ok"] = exit_code == 0;
    data_["exit_code"] = exit_code;
    // Paths need not be UTF-8; a stray byte must not cost the whole document.
    std::string text = data_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::printf("%s\n", text.c_str());
  }
  std::fflush(stdout);
  return exit_code;
}

std::string size_text(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / 1024;
  int unit = 0;
  for (; value >= 1024 && unit < 3; ++unit) value /= 1024;
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

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
