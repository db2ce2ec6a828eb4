#include "publish/command_check.h"

#include <algorithm>
#include <array>
#include <map>

#include "core/product.h"
#include "patch/command_line.h"
#include "publish/name_rules.h"
#include "text/paths.h"

namespace corvid::publish {

namespace {
constexpr std::array<std::string_view, 4> client_own_files = {starter_name, overlay_copy_name, update_location_file,
                                                              language_file};
const char* const installed_by_release = ", which this release installs; players would fetch it again on every run";

std::string worded(const finding<script_finding>& found) {
  switch (found.why) {
    case script_finding::wrong_header:
      if (found.text.starts_with("\xEF\xBB\xBF"))
        return "starts with a UTF-8 byte order mark, which the client reads as part of the line, so it would never "
               "run the script; save the file without one";
      return "the first line must be \"Corvid Patch\"";
    case script_finding::line_split:
      return "too long: the client reads at most 1023 characters of a line and takes the rest as another line";
    case script_finding::blank_before_command:
      return "starts with a blank, which the client takes as part of the command word";
    case script_finding::unclosed_quote: return "a double quote is not closed";
    case script_finding::text_before_quote: return "a double quote must enclose a whole field";
    case script_finding::text_after_quote: return "text follows a closing double quote";
    case script_finding::extra_fields: return "more than three fields; the client reads only three";
    case script_finding::field_too_long: return "a field is longer than 255 characters";
    case script_finding::device_name:
      return "a path names a Windows device such as CON or NUL; the client skips the line";
    case script_finding::scratch_copy_name:
      return "mv would give a name that the client keeps for the scratch copies of fetched files; the client skips "
             "the line";
    case script_finding::unknown_command:
      return "unknown command \"" + found.text + "\"; the client knows unlink, rmdir and mv";
  }
  return {};
}

// Why a path given to a command could act outside the installation folder or name
// something other than what it says; empty when it is fine.
std::string path_refusal(std::string_view path, bool wildcards_allowed) {
  if (char c = first_refused_character(path, wildcards_allowed ? ":<>|" : ":<>|*?")) {
    if (!is_printable(c)) return "a path holds a character outside printable ASCII";
    if (c == ':') return "a path names a drive or a stream; paths are relative to the installation folder";
    if (c == '*' || c == '?') return "wildcards are only matched in the file pattern of unlink";
    return std::string("a path holds '") + c + "', which Windows file names cannot";
  }
  if (!path.empty() && is_separator(path.front()))
    return "a path starts at the drive's root; paths are relative to the installation folder";
  for (std::string_view part : path_components(path)) {
    if (part == "..") return "a path uses \"..\"";
  }
  return {};
}

// A path as the file system resolves it: letter case and the separator do not matter,
// nor do "." and empty components.
std::string folded_path(std::string_view path) {
  std::string folded;
  for (std::string_view part : path_components(path)) {
    if (part.empty() || part == ".") continue;
    if (!folded.empty()) folded += '/';
    folded += lower_case(part);
  }
  return folded;
}

// Find-first-file matches "*.*" and "name.*" also against names without a dot.
bool pattern_matches(std::string_view pattern, std::string_view name) {
  if (wildcard_match(pattern, name, true)) return true;
  return pattern.ends_with(".*") && name.find('.') == std::string_view::npos &&
         wildcard_match(pattern.substr(0, pattern.size() - 2), name, true);
}

bool in_folder_matching(std::string_view name, std::string_view folder, std::string_view pattern) {
  std::size_t slash = name.rfind('/');
  std::string_view parent = slash == std::string_view::npos ? std::string_view() : name.substr(0, slash);
  return parent == folder && pattern_matches(pattern, name.substr(slash + 1));
}

// The rules stricter than the client's: a line the client carries out, but not as the
// operator meant it, or to the cost of what the client needs.
class script_rules {
 public:
  explicit script_rules(const std::vector<std::string>& installed) {
    for (const std::string& name : installed) installed_.push_back(folded_path(name));
  }

  std::string refusal(const script_line& line) const {
    std::string first(line.first.view()), second(line.second.view());
    switch (line.command) {
      case script_command::unlink: return unlink_refusal(first, second);
      case script_command::rmdir:
        if (first.empty()) return "rmdir needs the folder to remove";
        if (!second.empty()) return "rmdir takes one folder";
        return path_refusal(first, false);
      case script_command::mv: {
        if (first.empty() || second.empty()) return "mv needs the existing name and the new name";
        std::string why = path_refusal(first, false);
        if (why.empty()) why = path_refusal(second, false);
        if (why.empty()) why = move_refusal(first);
        return why;
      }
      case script_command::none: break;
    }
    return {};
  }

 private:
  std::string unlink_refusal(const std::string& folder, const std::string& pattern) const {
    if (pattern.empty()) return "unlink needs a folder (empty for the installation folder) and a file pattern";
    if (!folder.empty() && !is_separator(folder.back()))
      return "the folder of unlink must end with \"/\"; the client joins it to the pattern as it stands";
    if (pattern.find_first_of("/\\") != std::string::npos) return "the file pattern of unlink must not hold a folder";
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
      if (in_folder_matching(name, where, pattern)) return "unlink would delete " + name + installed_by_release;
    }
    return {};
  }

  // Moving a file the client needs, or a folder that holds one, takes it away.
  std::string move_refusal(const std::string& from) const {
    std::string moved = folded_path(from);
    auto holds = [&moved](std::string_view name) {
      return name == moved || (name.starts_with(moved) && name.size() > moved.size() && name[moved.size()] == '/');
    };
    for (std::string_view own : client_own_files) {
      if (holds(own)) return "mv would move away " + std::string(own) + ", one of the client's own files";
    }
    for (const std::string& name : installed_) {
      if (holds(name)) return "mv would move away " + name + installed_by_release;
    }
    return {};
  }

  std::vector<std::string> installed_;
};
}  // namespace

std::vector<std::string> not_deleted_by(std::string_view script, const std::vector<std::string>& names) {
  line_source lines(script);
  std::vector<script_line> unlinks;
  read_command_script(lines, [&unlinks](const script_line& line) {
    if (line.command == script_command::unlink) unlinks.push_back(line);
  });
  std::vector<std::string> left;
  for (const std::string& name : names) {
    std::string folded = folded_path(name);
    bool deleted = std::any_of(unlinks.begin(), unlinks.end(), [&folded](const script_line& line) {
      return in_folder_matching(folded, folded_path(line.first.view()), line.second.view());
    });
    if (!deleted) left.push_back(name);
  }
  return left;
}

bool check_command_script(std::string_view text, const std::vector<std::string>& installed,
                          std::vector<std::string>& problems) {
  line_source lines(text);
  script_findings found;
  std::vector<script_line> commands;
  read_command_script(
      lines, [&commands](const script_line& line) { commands.push_back(line); }, &found);
  // One problem a line, the client's reason first.
  std::map<std::size_t, std::string> why;
  for (const finding<script_finding>& reason : found) why.emplace(reason.line, worded(reason));
  script_rules rules(installed);
  for (const script_line& command : commands) {
    std::string refusal = rules.refusal(command);
    if (!refusal.empty()) why.emplace(command.line, refusal);
  }
  for (const auto& [line, reason] : why) problems.push_back("line " + std::to_string(line) + ": " + reason);
  return why.empty();
}

}  // namespace corvid::publish
