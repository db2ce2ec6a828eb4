#include "publish/name_rules.h"

#include "core/scratch_files.h"
#include "patch/windows_names.h"
#include "text/format_limits.h"
#include "text/lower_case.h"
#include "text/paths.h"

namespace corvid::publish {

char first_refused_character(std::string_view text, std::string_view refused) {
  for (char c : text) {
    if (!is_printable(c) || refused.find(c) != std::string_view::npos) return c;
  }
  return '\0';
}

std::string lower_case(std::string_view text) {
  std::string lower(text);
  lower_case_in_place(lower.data());
  return lower;
}

namespace {
std::string component_refusal(std::string_view component) {
  if (component.empty()) return "it has an empty path component";
  if (component == "." || component == "..") return "it has a \".\" or \"..\" component";
  if (component.back() == ' ' || component.back() == '.')
    return "a component ends in a space or a dot, which Windows drops";
  if (is_device_name(component)) return "a component is a Windows device name";
  return {};
}
}  // namespace

std::string name_refusal(std::string_view name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > max_name_length)
    return "the name has " + std::to_string(name.size()) + " characters; the client holds 255";
  // The client puts the name into its URL as it stands: "#" would end the path there
  // and "%" start an escape. A blank is fine; the client's library sends it as %20.
  if (char c = first_refused_character(name, "\"\\:*?<>|#%")) {
    if (!is_printable(c)) return "the name holds a character outside printable ASCII";
    if (c == '"') return "the name holds a double quote, which the list cannot carry";
    if (c == '#' || c == '%')
      return std::string("the name holds '") + c + "', which the client's download URL cannot carry";
    return std::string("the name holds '") + c + "', which Windows file names cannot";
  }
  // "\\" was refused above, so these are the "/" components.
  for (std::string_view component : path_components(name)) {
    std::string why = component_refusal(component);
    if (!why.empty()) return why;
  }
  return {};
}

bool is_client_scratch_name(std::string_view lower_name) {
  return lower_name == list_file_name || lower_name == command_script_name || lower_name == manifest_file_name ||
         names_a_scratch_copy(lower_name) || lower_name == signed_document_file_name ||
         lower_name == accepted_serials_file_name;
}

namespace {
char folded(char c, bool ignore_case) { return ignore_case ? lower_case_of(c) : c; }
}  // namespace

bool wildcard_match(std::string_view pattern, std::string_view name, bool ignore_case) {
  // Greedy with one point to come back to: the last "*" seen and where it was tried.
  std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || folded(pattern[p], ignore_case) == folded(name[n], ignore_case))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace corvid::publish
