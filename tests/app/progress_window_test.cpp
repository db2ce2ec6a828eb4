#include "app/progress_window.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include "core/message_pump.h"
#include "app/resources/resource_ids.h"
#include "core/update_state.h"
#include "net/transfer_progress.h"
#include "tests/support/client_test.h"

namespace corvid {

namespace {

// The real template and procedure, in this process, so that the flag can be seen.
class progress_window_test : public client_test {
 protected:
  void SetUp() override {
    InitCommonControls();
    state.progress_window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                               progress_window_procedure, 0);
    ASSERT_NE(state.progress_window, nullptr);
    init_progress_window();
  }
  void TearDown() override {
    if (IsWindow(state.progress_window)) DestroyWindow(state.progress_window);
    drain();
  }

  // Dispatches what is waiting; true when the quit message came.
  bool drain() {
    for (int i = 0; i < 1000; ++i) {
      int code = 0;
      pump_result result = pump_waiting_message(code);
      if (result == pump_result::quit) return true;
      if (result == pump_result::nothing_waiting) return false;
    }
    return false;
  }

  int bar_position(int id) {
    return static_cast<int>(SendDlgItemMessageA(state.progress_window, id, PBM_GETPOS, 0, 0));
  }
};

TEST_F(progress_window_test, escape_and_cancel_only_raise_the_flag_and_the_window_stays) {
  PostMessageA(state.progress_window, WM_KEYDOWN, VK_ESCAPE, 1);
  EXPECT_FALSE(drain());
  EXPECT_EQ(state.cancel_flag, 1);
  EXPECT_TRUE(IsWindow(state.progress_window));

  SendMessageA(state.progress_window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_EQ(state.cancel_flag, 1);
  EXPECT_TRUE(IsWindow(state.progress_window));
}

TEST_F(progress_window_test, enter_neither_cancels_nor_ends_the_run) {
  PostMessageA(state.progress_window, WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_FALSE(drain());
  EXPECT_EQ(state.cancel_flag, 0);
  EXPECT_TRUE(IsWindow(state.progress_window));
}

TEST_F(progress_window_test, closing_destroys_the_window_and_posts_the_quit_message) {
  PostMessageA(state.progress_window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(drain());
  EXPECT_FALSE(IsWindow(state.progress_window));
  EXPECT_EQ(state.cancel_flag, 0);
}

TEST_F(progress_window_test, the_transfer_display_reaches_the_ends_of_both_bars_and_the_title) {
  state.progress.overall_bytes_done = state.progress.overall_bytes_total = 7000;
  state.progress.file_bytes_done = 1;
  state.progress.file_bytes_total = 3;
  show_transfer_progress_at(0);
  EXPECT_EQ(bar_position(IDC_OVERALL_BAR), 100);
  EXPECT_EQ(bar_position(IDC_FILE_BAR), 33);
  char title[256];
  GetWindowTextA(state.progress_window, title, sizeof title);
  EXPECT_STREQ(title, "100% - Corvid Update");
}

}  // namespace

}  // namespace corvid
