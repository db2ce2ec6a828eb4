#include "tests/net/net_fixture.h"

#include "core/update_state.h"
#include "tests/support/install_folder.h"
#include "tests/support/window_robot.h"

namespace corvid {

void load_language(std::initializer_list<std::pair<int, const char*>> messages) {
  std::vector<std::string> lines(64);
  for (const auto& [number, text] : messages) lines[static_cast<std::size_t>(number - 1)] = text;
  std::string contents;
  for (const std::string& line : lines) contents += line + "\n";
  write_file("language.dat", contents);
  state.string_table.create(1024, 64);
  state.string_table.load("language.dat");
}

box_closer::box_closer() {
  watch_.emplace([this](HWND box) {
    seen_box seen;
    char text[8192];
    GetWindowTextA(box, text, sizeof text);
    seen.caption = text;
    text[0] = '\0';
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    seen.text = text;
    HICON icon = window_robot::icon_of(box);
    seen.warning_icon = icon != nullptr && icon == LoadIconA(nullptr, IDI_WARNING);
    seen_.push_back(seen);
    SendMessageA(box, WM_COMMAND, IDOK, 0);
  });
}

std::vector<seen_box> box_closer::stop() {
  watch_.reset();
  return seen_;
}

}  // namespace corvid
