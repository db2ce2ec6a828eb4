#include "publish/command_check.h"

#include <array>

#include "core/scratch_files.h"
#include "patch/command_line.h"
#include "patch/fields.h"
#include "patch/list_format.h"
#include "patch/windows_names.h"
#include "text/line_source.h"
#include "publish/name_rules.h"

namespace corvid::publish {

namespace {
// What the client itself keeps in the installation folder and needs on its next run.
constexpr std::array<std::string_view, 4> client_own_files = {"talomar.exe", "patch.bin", "update.dat",
                                                              "language/patch_strings.dat"};

bool is_separator(char c) { return c == '/' || c == '\\'; }

// The fields as the client's field rule takes them. The rule quietly changes a field
// whose quote does not enclose all of it, or whose closing quote is missing, so such
// a line is refused instead.
bool split_fields(std::string_view line, std::vector<std::string_view>& fields, std::string& why) {
  std::string_view rest = line;
  while (!rest.empty()) {
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
    } else if (rest.substr(0, rest.find(',')).find('"') != std::string_view::npos) {
      why = "a double quote must enclose a whole field";
      return false;
    }
    std::string_view field;
    next_field(rest, field);
    fields.push_back(field);
  }
  return true;
}

// Why a path given to a command could act outside the installation folder or name
// something other than what it says; empty when it is fine.
std::string path_refusal(std::string_view path, bool wildcards_allowed) {
  for (char c : path) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) return "a path holds a character outside printable ASCII";
    if (c == ':') return "a path names a drive or a stream; paths are relative to the installation folder";
    if (std::string_view("<>|").find(c) != std::string_view::npos)
      return std::string("a path holds '") + c + "', which Windows file names cannot";
    if (!wildcards_allowed && (c == '*' || c == '?')) return "wildcards are only matched in the file pattern of unlink";
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

// A path as the file system resolves it: letter case and the separator do not matter,
// nor do "." and empty components.
std::string folded_path(std::string_view path) {
  std::string folded;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != ".") {
      if (!folded.empty()) folded += '/';
      folded += lower_case(part);
    }
    start = end + 1;
  }
  return folded;
}

// Find-first-file matches "*.*" and "name.*" also against names without a dot.
bool pattern_matches(std::string_view pattern, std::string_view name) {
  if (wildcard_match(pattern, name, true)) return true;
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
         name.find('.') == std::string_view::npos && wildcard_match(pattern.substr(0, pattern.size() - 2), name, true);
}

class script_checker {
 public:
  explicit script_checker(const std::vector<std::string>& installed) {
    for (const std::string& name : installed) installed_.push_back(folded_path(name));
  }

  std::string line_refusal(std::string_view line) const {
    if (line.front() == ' ' || line.front() == '\t')
      return "starts with a blank, which the client takes as part of the command word";
    std::vector<std::string_view> fields;
    std::string why;
    if (!split_fields(line, fields, why)) return why;
    if (fields.size() > 3) return "more than three fields; the client reads only three";
    for (std::string_view field : fields) {
      if (field.size() > max_name_length) return "a field is longer than 255 characters";
    }
    for (std::size_t i = 1; i < fields.size(); ++i) {
      if (names_a_device(fields[i]))
        return "a path names a Windows device such as CON or NUL; the client skips the line";
    }
    if (fields.size() == 3 && equal_ignoring_case(fields[0], "mv") && names_a_scratch_copy(fields[2]))
      return "mv would give a name that the client keeps for the scratch copies of fetched files; the client skips "
             "the line";
    script_line command = parse_command_line(line);
    std::string first(command.first.view()), second(command.second.view());
    switch (command.command) {
      case script_command::unlink: return unlink_refusal(first, second);
      case script_command::rmdir:
        if (first.empty()) return "rmdir needs the folder to remove";
        if (!second.empty()) return "rmdir takes one folder";
        return path_refusal(first, false);
      case script_command::mv:
        if (first.empty() || second.empty()) return "mv needs the existing name and the new name";
        why = path_refusal(first, false);
        if (why.empty()) why = path_refusal(second, false);
        if (why.empty()) why = move_refusal(first);
        return why;
      case script_command::none: break;
    }
    return "unknown command \"" + std::string(fields[0]) + "\"; the client knows unlink, rmdir and mv";
  }

 private:
  std::string unlink_refusal(const std::string& folder, const std::string& pattern) const {
    if (pattern.empty()) return "unlink needs a folder (empty for the installation folder) and a file pattern";
    if (!folder.empty() && !is_separator(folder.back()))
      return "the folder of unlink must end with \"/\"; the client joins it to the pattern as it stands";
    for (char c : pattern) {
      if (is_separator(c)) return "the file pattern of unlink must not hold a folder";
    }
    std::string why = path_refusal(folder, false);
    if (why.empty()) why = path_refusal(pattern, true);
    if (!why.empty()) return why;
    std::string where = folded_path(folder);
    if (where.empty() && pattern_matches(pattern, "any.name") && pattern_matches(pattern, "anyname"))
      return "unlink of \"" + pattern + "\" in the installation folder deletes every file there, the client's own";
    for (std::string_view own : client_own_files) {
      if (in_folder_matching(own, where, pattern))
        return "unlink would delete " + std::string(own) + ", one of the client's own files";
    }
    for (const std::string& name : installed_) {
      if (in_folder_matching(name, where, pattern))
        return "unlink would delete " + name +
               ", which this release installs; players would fetch it again on "
               "every run";
    }
    return {};
  }

  static bool in_folder_matching(std::string_view name, std::string_view folder, std::string_view pattern) {
    std::size_t slash = name.rfind('/');
    std::string_view parent = slash == std::string_view::npos ? std::string_view() : name.substr(0, slash);
    return parent == folder && pattern_matches(pattern, name.substr(slash + 1));
  }

  // Moving a file the client needs, or a folder that holds one, takes it away.
  std::string move_refusal(const std::string& from) const {
    std::string moved = folded_path(from);
    auto holds = [&moved](std::string_view name) {
      return name == moved ||
             (name.size() > moved.size() && name.substr(0, moved.size()) == moved && name[moved.size()] == '/');
    };
    for (std::string_view own : client_own_files) {
      if (holds(own)) return "mv would move away " + std::string(own) + ", one of the client's own files";
    }
    for (const std::string& name : installed_) {
      if (holds(name))
        return "mv would move away " + name +
               ", which this release installs; players would fetch it again on "
               "every run";
    }
    return {};
  }

  std::vector<std::string> installed_;
};
}  // namespace

bool check_command_script(std::string_view text, const std::vector<std::string>& installed,
                          std::vector<std::string>& problems) {
  std::size_t before = problems.size();
  const std::string wrong_header = "line 1: the first line must be \"Corvid Patch\"";
  line_source lines(text);
  list_text_line line;
  if (!lines.next(line, long_line::split)) {
    problems.push_back(wrong_header);
    return false;
  }
  if (line.view().substr(0, 3) == "\xEF\xBB\xBF") {
    problems.push_back(
        "line 1: starts with a UTF-8 byte order mark, which the client reads as part of the "
        "line, so it would never run the script; save the file without one");
    return false;
  }
  if (!is_list_header_line(line)) {
    problems.push_back(wrong_header);
    return false;
  }
  script_checker checker(installed);
  std::size_t number = 1;
  bool continued = false;  // the rest of a line the client splits
  while (lines.next(line, long_line::split)) {
    if (!continued) ++number;
    bool split = line.size() == max_text_line_length;
    std::string why;
    if (split && !continued) {
      why = "too long: the client reads at most 1023 characters of a line and takes the rest as another line";
    } else if (!continued && !line.empty() && line.view().front() != ';') {
      why = checker.line_refusal(line);
    }
    continued = split;
    if (!why.empty()) problems.push_back("line " + std::to_string(number) + ": " + why);
  }
  return problems.size() == before;
}

}  // namespace corvid::publish
