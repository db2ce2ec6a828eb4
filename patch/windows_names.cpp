#include "patch/windows_names.h"

#include "text/lower_case.h"

namespace corvid {

bool is_device_name(std::string_view component) {
  std::string_view base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (equal_ignoring_case(base, device)) return true;
  }
  if (base.size() != 4 || base[3] < '1' || base[3] > '9') return false;
  return equal_ignoring_case(base.substr(0, 3), "com") || equal_ignoring_case(base.substr(0, 3), "lpt");
}

bool names_a_device(std::string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    if (is_device_name(path.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace corvid
