#include "tests/net/net_fixture.h"

#include <chrono>

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

box_closer::box_closer() : thread_([this] { run(); }) {}

box_closer::~box_closer() { stop(); }

std::vector<seen_box> box_closer::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return seen_;
}

void box_closer::run() {
  using clock = std::chrono::steady_clock;
  auto give_up = clock::now() + std::chrono::seconds(30);
  while (!stopping_ && clock::now() < give_up) {
    HWND box = FindWindowA("#32770", nullptr);
    DWORD owner_process = 0;
    if (box != nullptr) GetWindowThreadProcessId(box, &owner_process);
    if (box == nullptr || owner_process != GetCurrentProcessId() || !IsWindowVisible(box)) {
      Sleep(20);
      continue;
    }
    seen_box seen;
    char text[8192];
    GetWindowTextA(box, text, sizeof text);
    seen.caption = text;
    text[0] = '\0';
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    seen.text = text;
    HICON icon = window_robot::icon_of(box);
    seen.warning_icon = icon != nullptr && icon == LoadIconA(nullptr, IDI_WARNING);
    {
      std::lock_guard lock(mutex_);
      seen_.push_back(seen);
    }
    SendMessageA(box, WM_COMMAND, IDOK, 0);
    for (int wait = 0; wait < 250 && IsWindow(box); ++wait) Sleep(20);
  }
}

}  // namespace corvid
