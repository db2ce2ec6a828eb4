#include "app/progress_window.h"

#include <commctrl.h>

#include "app/resources/resource_ids.h"
#include "core/product.h"
#include "core/update_state.h"

namespace corvid {

namespace {

// Looks the window up at each call, so that it follows `state.progress_window`.
class window_view final : public progress_view {
 public:
  void status_line_1(const char* text) override { set_status_line(IDC_STATUS_LINE_1, text); }
  void status_line_2(const char* text) override { set_status_line(IDC_STATUS_LINE_2, text); }
  void file_bar(int percent) override { set_bar(IDC_FILE_BAR, percent); }
  void overall_bar(int percent) override { set_bar(IDC_OVERALL_BAR, percent); }
  void title(const char* text) override { SetWindowTextA(state.progress_window, text); }

 private:
  static void set_bar(int control_id, int percent) {
    SendDlgItemMessageA(state.progress_window, control_id, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  }
};

}  // namespace

progress_view& progress_window_view() {
  static window_view view;
  return view;
}

void init_progress_window() {
  HWND window = state.progress_window;
  state.view = &progress_window_view();
  SetWindowTextA(window, text_of(message::program_name));
  SetDlgItemTextA(window, IDCANCEL, text_of(message::cancel));
  SetDlgItemTextA(window, IDC_VERSION_TEXT, "v. " CORVID_VERSION);
  SetDlgItemTextA(window, IDC_STATUS_LINE_1, text_of(message::connecting));
  SetDlgItemTextA(window, IDC_STATUS_LINE_2, text_of(message::please_wait));
  SendDlgItemMessageA(window, IDC_FILE_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendDlgItemMessageA(window, IDC_OVERALL_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
}

void set_status_line(int control_id, const char* text) { SetDlgItemTextA(state.progress_window, control_id, text); }

INT_PTR CALLBACK progress_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_SHOWWINDOW: return TRUE;
    case WM_COMMAND:
      // Cancel and Escape only raise the flag: the running operation notices it and the
      // run ends through the driver. Enter (command 1) is ignored, so that a stray key
      // press cannot end a player's update half-way.
      if (LOWORD(wparam) == IDCANCEL) state.cancel_flag = 1;
      return TRUE;
    case WM_CLOSE: DestroyWindow(window); return TRUE;
    case WM_DESTROY: PostQuitMessage(0); return TRUE;
    default: return FALSE;
  }
}

}  // namespace corvid
