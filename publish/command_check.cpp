#include "publish/command_check.h"

#include "publish/list_format.h"
#include "publish/list_reader.h"
#include "publish/name_rules.h"

namespace {
// Splits a line into fields as the client's field rule does, but refuses the forms
// where that rule would quietly change the text: a quote that does not enclose a
// whole field, or a missing closing quote.
bool split_fields(std::string_view line, std::vector<std::string>& fields, std::string& why) {
  std::string_view rest = line;
  while (!rest.empty()) {
    std::string field;
    if (rest.front() == '"') {
      std::size_t close = rest.find('"', 1);
      if (close == std::string_view::npos) {
        why = "a double quote is not closed";
        return false;
      }
      if (close + 1 < rest.size() && rest[close + 1] != ',') {
        why = "text follows a closing double quote";
        return false;
      }
    } else {
      std::size_t comma = rest.find(',');
      if (rest.substr(0, comma).find('"') != std::string_view::npos) {
        why = "a double quote must enclose a whole field";
        return false;
      }
    }
    next_field(rest, field);
    fields.push_back(field);
  }
  return true;
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Why a path given to a command could act outside the installation folder or name
// something other than what it says; empty when it is fine.
std::string path_refusal(std::string_view path, bool wildcards_allowed) {
  for (char c : path) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) return "a path holds a character outside printable ASCII";
    if (c == ':') return "a path names a drive or a stream; paths are relative to the installation folder";
    if (std::string_view("<>|").find(c) != std::string_view::npos)
      return std::string("a path holds '") + c + "', which Windows file names cannot";
    if (!wildcards_allowed && (c == '*' || c == '?'))
      return "wildcards are only matched in the file pattern of unlink";
  }
  if (!path.empty() && is_separator(path.front()))
    return "a path starts at the drive's root; paths are relative to the installation folder";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    if (path.substr(start, end - start) == "..") return "a path uses \"..\"";
    start = end + 1;
  }
  return {};
}

std::string fields_refusal(const std::vector<std::string>& fields) {
  if (fields.size() > 3) return "more than three fields; the client reads only three";
  for (const std::string& field : fields) {
    if (field.size() > max_name_length) return "a field is longer than 255 characters";
  }
  std::string word = lower_case(fields[0]);
  std::string first = fields.size() > 1 ? fields[1] : std::string();
  std::string second = fields.size() > 2 ? fields[2] : std::string();
  std::string why;
  if (word == "unlink") {
    if (second.empty()) return "unlink needs a folder (empty for the installation folder) and a file pattern";
    if (!first.empty() && !is_separator(first.back()))
      return "the folder of unlink must end with \"/\"; the client joins it to the pattern as it stands";
    for (char c : second) {
      if (is_separator(c)) return "the file pattern of unlink must not hold a folder";
    }
    why = path_refusal(first, false);
    if (why.empty()) why = path_refusal(second, true);
    return why;
  }
  if (word == "rmdir") {
    if (first.empty()) return "rmdir needs the folder to remove";
    if (!second.empty()) return "rmdir takes one folder";
    return path_refusal(first, false);
  }
  if (word == "mv") {
    if (first.empty() || second.empty()) return "mv needs the existing name and the new name";
    why = path_refusal(first, false);
    if (why.empty()) why = path_refusal(second, false);
    return why;
  }
  return "unknown command \"" + fields[0] + "\"; the client knows unlink, rmdir and mv";
}

std::string line_refusal(std::string_view line) {
  if (line.size() > header_line_limit)
    return "longer than 1023 characters; the client would read it as two lines";
  if (line.front() == ' ' || line.front() == '\t')
    return "starts with a blank, which the client takes as part of the command word";
  std::vector<std::string> fields;
  std::string why;
  if (!split_fields(line, fields, why)) return why;
  return fields_refusal(fields);
}
}  // namespace

bool check_command_script(std::string_view text, std::vector<std::string>& problems) {
  std::size_t before = problems.size();
  std::size_t number = 0;
  while (!text.empty()) {
    std::size_t feed = text.find('\n');
    std::string_view line = text.substr(0, feed);
    text.remove_prefix(feed == std::string_view::npos ? text.size() : feed + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number;
    std::string why;
    if (number == 1) {
      if (line != list_header_line) why = "the first line must be \"Corvid Patch\"";
    } else if (!line.empty() && line.front() != ';') {
      why = line_refusal(line);
    }
    if (!why.empty()) problems.push_back("line " + std::to_string(number) + ": " + why);
    if (number == 1 && !why.empty()) break;
  }
  if (number == 0) problems.push_back("line 1: the first line must be \"Corvid Patch\"");
  return problems.size() == before;
}
