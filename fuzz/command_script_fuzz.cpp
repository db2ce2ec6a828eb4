// A command script as downloaded: the header, then every line to its command, read once
// as the client reads it and once with the findings corvid-publish asks for.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "patch/command_line.h"

namespace corvid {

namespace {

std::vector<script_line> commands_of(std::string_view text, script_findings* found) {
  std::vector<script_line> commands;
  line_source lines(text);
  read_command_script(
      lines, [&commands](const script_line& line) { commands.push_back(line); }, found);
  return commands;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  script_findings found;
  std::vector<script_line> told = commands_of(text, &found);
  std::vector<script_line> run = commands_of(text, nullptr);
  // Asking for findings changes nothing the client runs.
  if (told.size() != run.size()) std::abort();
  for (std::size_t i = 0; i < run.size(); ++i) {
    const script_line& line = run[i];
    if (line.command == script_command::none || line.command != told[i].command || line.line != told[i].line ||
        line.first.view() != told[i].first.view() || line.second.view() != told[i].second.view()) {
      std::abort();
    }
  }
  // One reason a line, in the order of the lines.
  for (std::size_t i = 1; i < found.size(); ++i) {
    if (found[i].line <= found[i - 1].line) std::abort();
  }
  return 0;
}

}  // namespace corvid
