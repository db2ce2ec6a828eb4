#include "patch/command_line.h"

#include <optional>

#include "core/scratch_files.h"
#include "patch/fields.h"
#include "patch/windows_names.h"
#include "text/lower_case.h"

namespace corvid {

namespace {

// Takes the next field into `field`; a missing field, or an unclosed quote, is empty.
// False when the field does not fit.
bool take_field(std::string_view& line, script_field& field) {
  std::string_view text;
  if (!next_field(line, text)) {
    field.clear();
    return true;
  }
  return field.assign(text);
}

script_command command_named(std::string_view word) {
  if (equal_ignoring_case(word, "unlink")) return script_command::unlink;
  if (equal_ignoring_case(word, "rmdir")) return script_command::rmdir;
  if (equal_ignoring_case(word, "mv")) return script_command::mv;
  return script_command::none;
}

// What the field rule makes of the whole line, every field of it, where that is not what
// the line says.
std::optional<script_finding> field_finding(std::string_view rest) {
  std::size_t count = 0;
  bool too_long = false;
  std::string_view field;
  field_quirk quirk = field_quirk::none;
  while (next_field(rest, field, &quirk) && quirk == field_quirk::none) {
    ++count;
    too_long = too_long || field.size() > script_field::capacity;
  }
  switch (quirk) {
    case field_quirk::unclosed_quote: return script_finding::unclosed_quote;
    case field_quirk::text_before_quote: return script_finding::text_before_quote;
    case field_quirk::text_after_quote: return script_finding::text_after_quote;
    case field_quirk::none: break;
  }
  if (count > 3) return script_finding::extra_fields;
  if (too_long) return script_finding::field_too_long;
  return std::nullopt;
}

}  // namespace

script_line parse_command_line(std::string_view line, script_findings* found, std::size_t number) {
  script_line parsed;
  if (line.empty() || line.front() == ';') return parsed;
  script_field word;
  std::string_view rest = line;
  bool fits = take_field(rest, word) && take_field(rest, parsed.first) && take_field(rest, parsed.second);
  bool device = fits && (names_a_device(parsed.first.view()) || names_a_device(parsed.second.view()));
  // A moved file or folder under a scratch copy's name would be overwritten by the next
  // fetch into its folder, or stand in that fetch's way.
  script_command command = command_named(word.view());
  bool scratch = fits && command == script_command::mv && names_a_scratch_copy(parsed.second.view());
  if (found != nullptr) {
    std::optional<script_finding> why;
    if (line.front() == ' ' || line.front() == '\t') why = script_finding::blank_before_command;
    if (!why) why = field_finding(line);
    if (!why && device) why = script_finding::device_name;
    if (!why && scratch) why = script_finding::scratch_copy_name;
    if (!why && command == script_command::none) why = script_finding::unknown_command;
    if (why) note(found, number, *why, *why == script_finding::unknown_command ? word.view() : std::string_view());
  }
  if (!fits || device || scratch || command == script_command::none) return script_line();
  parsed.command = command;
  parsed.line = number;
  return parsed;
}

}  // namespace corvid
