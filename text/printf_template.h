#pragma once
// Checks a translated printf template before it is used: a language file is input, and
// a conversion that does not match the arguments the program passes would read
// arguments that are not there.

#include <cstring>
#include <string_view>

namespace corvid {

// True when every conversion of `candidate` matches, in order, the start of
// `argument_kinds`: 's' a text, 'f' a floating-point number, 'd' an int. Fewer
// conversions than arguments are fine; "%%" is no conversion.
inline bool printf_template_fits(const char* candidate, std::string_view argument_kinds) {
  std::size_t used = 0;
  for (const char* p = candidate; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
      ++p;
      while (*p >= '0' && *p <= '9') ++p;
    }
    if (*p == '\0' || used == argument_kinds.size()) return false;
    char kind = argument_kinds[used++];
    bool matches = (kind == 's' && *p == 's') || (kind == 'f' && std::strchr("fFeEgG", *p) != nullptr) ||
                   (kind == 'd' && (*p == 'd' || *p == 'i'));
    if (!matches) return false;
  }
  return true;
}

}  // namespace corvid
