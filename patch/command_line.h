#pragma once
// The reading of the command script, apart from the file operations it leads to, so
// that it needs no windows.h and can be fuzzed on the host.

#include <cstddef>
#include <string_view>

#include "patch/list_format.h"
#include "text/findings.h"
#include "text/fixed_text.h"
#include "text/line_source.h"

namespace corvid {

enum class script_command { none, unlink, rmdir, mv };

using script_field = fixed_text<max_name_length + 1>;

struct script_line {
  script_command command = script_command::none;
  script_field first;
  script_field second;
  std::size_t line = 0;  // as the script is written: the rest of a split line keeps its number
};

// Why the script, or one line of it, is not run as it is written. A line gets one: the
// first of these that applies.
enum class script_finding {
  wrong_header,          // line 1 (text) is not the list header: nothing is run
  line_split,            // longer than a line's buffer: the rest is read as another line
  blank_before_command,  // the blank stays part of the command word, so the line is skipped
  unclosed_quote,        // the field, and every one after it, is read as empty
  text_before_quote,     // dropped: the field is what the quotes enclose
  text_after_quote,      // read as part of the next field
  extra_fields,          // only three fields are read
  field_too_long,        // the line is skipped
  device_name,           // the line is skipped
  scratch_copy_name,     // mv to a name kept for scratch copies: the line is skipped
  unknown_command,       // (text: the word) the line is skipped
};
using script_findings = findings<script_finding>;

// The command of one line after the header. `none` for an empty line, a comment (";"
// first), an unknown command word, a field too long to hold (a cut path would name
// another file), an argument with a device name in it, or a move to a scratch copy's
// name. Missing fields are empty; a blank before the command word is kept, so such a
// line is an unknown command.
script_line parse_command_line(std::string_view line, script_findings* found = nullptr, std::size_t number = 0);

// Reads the header line and hands every line that names a command to `act`. False
// when the header is missing or is not exactly the list header.
template <typename Act>
bool read_command_script(line_source& lines, Act&& act, script_findings* found = nullptr) {
  list_text_line line;
  if (!lines.next(line, long_line::split) || !is_list_header_line(line)) {
    note(found, 1, script_finding::wrong_header, line.view());
    return false;
  }
  std::size_t number = 1;
  bool continued = false;  // the line read is the rest of a split one
  while (lines.next(line, long_line::split)) {
    if (!continued) ++number;
    bool split = line.size() == line.capacity;
    if (split && !continued) note(found, number, script_finding::line_split);
    script_line command = parse_command_line(line, split || continued ? nullptr : found, number);
    continued = split;
    if (command.command != script_command::none) act(command);
  }
  return true;
}

}  // namespace corvid
