#include "patch/command_line.h"

#include "core/scratch_files.h"
#include "patch/fields.h"
#include "patch/windows_names.h"
#include "text/lower_case.h"

namespace corvid {

namespace {

// Takes the next field into `field`; a missing field, or an unclosed quote, is empty.
bool take_field(std::string_view& line, script_field& field) {
  std::string_view text;
  if (!next_field(line, text)) {
    field.clear();
    return true;
  }
  return field.assign(text);
}

}  // namespace

script_line parse_command_line(std::string_view line) {
  script_line parsed;
  if (line.empty() || line.front() == ';') return parsed;
  script_field word;
  if (!take_field(line, word) || !take_field(line, parsed.first) || !take_field(line, parsed.second)) {
    return script_line();
  }
  if (names_a_device(parsed.first.view()) || names_a_device(parsed.second.view())) return script_line();
  if (equal_ignoring_case(word.view(), "unlink")) {
    parsed.command = script_command::unlink;
  } else if (equal_ignoring_case(word.view(), "rmdir")) {
    parsed.command = script_command::rmdir;
  } else if (equal_ignoring_case(word.view(), "mv")) {
    // A moved file or folder under a scratch copy's name would be overwritten by the next
    // fetch into its folder, or stand in that fetch's way.
    if (names_a_scratch_copy(parsed.second.view())) return script_line();
    parsed.command = script_command::mv;
  } else {
    return script_line();
  }
  return parsed;
}

}  // namespace corvid
