#include "publish/report.h"

#include <cstdio>

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
  data_["problems"].push_back(text);
  if (!options_.json) std::fprintf(stderr, "refused: %s\n", text.c_str());
}

void report::problem(const std::string& where, const std::string& why) {
  ++problems_;
  data_["problems"].push_back({{"where", where}, {"problem", why}});
  if (!options_.json) std::printf("%s: %s\n", where.c_str(), why.c_str());
}

void report::error(const std::string& text) {
  data_["errors"].push_back(text);
  if (!options_.json) std::fprintf(stderr, "corvid-publish: %s\n", text.c_str());
}

int report::finish(int exit_code) {
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

}  // namespace corvid::publish
