#include "patch/command_line.h"

#include "patch/fields.h"

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

// ASCII only, as the C run-time's case-blind compare does in the "C" locale.
bool same_word(std::string_view word, std::string_view known) {
  if (word.size() != known.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != known[i]) return false;
  }
  return true;
}

}  // namespace

script_line parse_command_line(std::string_view line) {
  script_line parsed;
  if (line.empty() || line.front() == ';') return parsed;
  script_field word;
  if (!take_field(line, word) || !take_field(line, parsed.first) ||
      !take_field(line, parsed.second)) {
    return script_line();
  }
  if (same_word(word.view(), "unlink")) {
    parsed.command = script_command::unlink;
  } else if (same_word(word.view(), "rmdir")) {
    parsed.command = script_command::rmdir;
  } else if (same_word(word.view(), "mv")) {
    parsed.command = script_command::mv;
  } else {
    return script_line();
  }
  return parsed;
}
