// A command script as downloaded: the header, then every line to its command.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "patch/command_line.h"

namespace corvid {

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  line_source lines(std::string_view(reinterpret_cast<const char*>(data), size));
  read_command_script(lines, [](const script_line& line) {
    if (line.command == script_command::none) std::abort();
    if (line.first.size() > script_field::capacity || line.second.size() > script_field::capacity) {
      std::abort();
    }
  });
  return 0;
}

}  // namespace corvid
