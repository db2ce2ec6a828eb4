#include "publish/name_rules.h"

#include "core/scratch_files.h"
#include "patch/windows_names.h"
#include "text/format_limits.h"
#include "text/lower_case.h"

namespace corvid::publish {

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
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) return "the name holds a character outside printable ASCII";
    if (c == '"') return "the name holds a double quote, which the list cannot carry";
    if (std::string_view("\\:*?<>|").find(c) != std::string_view::npos)
      return std::string("the name holds '") + c + "', which Windows file names cannot";
    // The client puts the name into its URL as it stands: "#" would end the path there
    // and "%" start an escape. A blank is fine; the client's library sends it as %20.
    if (c == '#' || c == '%')
      return std::string("the name holds '") + c + "', which the client's download URL cannot carry";
  }
  std::size_t start = 0;
  while (true) {
    std::size_t slash = name.find('/', start);
    std::string why = component_refusal(name.substr(start, slash - start));
    if (!why.empty()) return why;
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return {};
}

bool is_client_scratch_name(std::string_view lower_name) {
  return lower_name == "cpatch.dat" || lower_name == "command.dat" || lower_name == "gfl.mft" ||
         names_a_scratch_copy(lower_name);
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
