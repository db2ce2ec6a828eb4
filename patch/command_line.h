#pragma once
// The reading of the command script, apart from the file operations it leads to, so
// that it needs no windows.h and can be fuzzed on the host.

#include <string_view>

#include "patch/list_format.h"
#include "text/line_source.h"
#include "text/fixed_text.h"

namespace corvid {

enum class script_command { none, unlink, rmdir, mv };

using script_field = fixed_text<max_name_length + 1>;

struct script_line {
  script_command command = script_command::none;
  script_field first;
  script_field second;
};

// The command of one line after the header. `none` for an empty line, a comment (";"
// first), an unknown command word, a field too long to hold (a cut path would name
// another file), an argument with a device name in it, or a move to a scratch copy's
// name. Missing fields are empty; a blank before the command word is kept, so such a
// line is an unknown command.
script_line parse_command_line(std::string_view line);

// Reads the header line and hands every line that names a command to `act`. False
// when the header is missing or is not exactly the list header.
template <typename Act>
bool read_command_script(line_source& lines, Act&& act) {
  list_text_line line;
  if (!lines.next(line, long_line::split) || !is_list_header_line(line)) return false;
  while (lines.next(line, long_line::split)) {
    script_line command = parse_command_line(line);
    if (command.command != script_command::none) act(command);
  }
  return true;
}

}  // namespace corvid
