#pragma once
// What the network tests share: a language file of the test's own, and a player that
// reads and closes message boxes.

#include <windows.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/client_test.h"

namespace corvid {

// Writes a language file in which message n reads as given (others are empty) and
// loads it into the string table of the update state.
void load_language(std::initializer_list<std::pair<int, const char*>> messages);

struct seen_box {
  std::string caption;
  std::string text;
  bool warning_icon = false;  // the system's warning icon, as MB_ICONWARNING shows it
};

// From its start until stop(), closes every message box of this thread with OK and
// records what it said.
class box_closer {
 public:
  box_closer();
  std::vector<seen_box> stop();

 private:
  std::vector<seen_box> seen_;
  std::optional<dialog_watch> watch_;
};

}  // namespace corvid
