#include "tests/support/client_test.h"

#include <map>
#include <string>
#include <vector>

#include "core/update_state.h"
#include "net/transfer_progress.h"

namespace corvid {

namespace {

// Every piece of process-wide state the client keeps between calls.
void reset_module_state() {
  reset_update_state();
  reset_transfer_progress_display();
}

}  // namespace

client_test::client_test() : previous_directory_(std::filesystem::current_path()) {
  reset_module_state();
  std::filesystem::current_path(folder_.path());
}

client_test::~client_test() {
  std::filesystem::current_path(previous_directory_);
  reset_module_state();
}

namespace {

constexpr UINT run_action = WM_APP + 7;
constexpr const char* actions_class = "corvid_pumped_actions";

}  // namespace

pumped_actions::pumped_actions() {
  WNDCLASSA type{};
  type.lpfnWndProc = procedure;
  type.hInstance = GetModuleHandleA(nullptr);
  type.lpszClassName = actions_class;
  RegisterClassA(&type);
  window_ = CreateWindowA(actions_class, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
  EXPECT_NE(window_, nullptr);
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

pumped_actions::~pumped_actions() {
  drop_waiting();
  DestroyWindow(window_);
}

void pumped_actions::post(std::function<void()> action) {
  waiting_.push_back(std::move(action));
  PostMessageA(window_, run_action, 0, 0);
}

void pumped_actions::drop_waiting() {
  MSG message;
  while (PeekMessageA(&message, window_, run_action, run_action, PM_REMOVE)) {
  }
  waiting_.clear();
}

LRESULT CALLBACK pumped_actions::procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<pumped_actions*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message != run_action || self == nullptr) return DefWindowProcA(window, message, wparam, lparam);
  if (!self->waiting_.empty()) {
    std::function<void()> action = std::move(self->waiting_.front());
    self->waiting_.pop_front();
    ++self->ran_;
    action();
  }
  return 0;
}

namespace {

// Thread timers carry no data of their own: each finds its watch here.
std::map<UINT_PTR, dialog_watch*>& watches() {
  static std::map<UINT_PTR, dialog_watch*> by_timer;
  return by_timer;
}

BOOL CALLBACK collect_visible_dialog(HWND window, LPARAM list) {
  char class_name[16] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  if (std::string(class_name) == "#32770" && IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

}  // namespace

dialog_watch::dialog_watch(std::function<void(HWND)> act) : act_(std::move(act)) {
  timer_ = SetTimer(nullptr, 0, 25, tick);
  EXPECT_NE(timer_, 0u);
  watches()[timer_] = this;
}

dialog_watch::~dialog_watch() {
  KillTimer(nullptr, timer_);
  watches().erase(timer_);
}

void CALLBACK dialog_watch::tick(HWND, UINT, UINT_PTR timer, DWORD) {
  auto found = watches().find(timer);
  if (found == watches().end()) return;
  dialog_watch& watch = *found->second;
  std::vector<HWND> dialogs;
  EnumThreadWindows(GetCurrentThreadId(), collect_visible_dialog, reinterpret_cast<LPARAM>(&dialogs));
  for (HWND dialog : dialogs) {
    if (watch.seen_.insert(dialog).second) watch.act_(dialog);
  }
}

}  // namespace corvid
