#include "net/transfer_progress.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/progress_window.h"
#include "app/resources/resource_ids.h"
#include "core/update_state.h"
#include "tests/net/net_fixture.h"
#include "tests/support/client_test.h"

namespace corvid {

namespace {

// A stand-in for the progress window with the parts the display writes to.
class progress_window_test : public client_test {
 protected:
  void SetUp() override {
    InitCommonControls();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    window = CreateWindowA("STATIC", "Title", WS_OVERLAPPED, 0, 0, 400, 200, nullptr, nullptr, instance, nullptr);
    ASSERT_NE(window, nullptr);
    for (int id : {IDC_OVERALL_BAR, IDC_FILE_BAR}) {
      HWND bar = CreateWindowA(PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 100, 10, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
      ASSERT_NE(bar, nullptr);
      SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    }
    CreateWindowA("STATIC", "Info2", WS_CHILD, 0, 0, 300, 10, window,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STATUS_LINE_2)), instance, nullptr);
    state.progress_window = window;
    state.view = &progress_window_view();
  }
  void TearDown() override { DestroyWindow(window); }

  std::string title() const {
    char text[256];
    GetWindowTextA(window, text, sizeof text);
    return text;
  }
  std::string status_line() const {
    char text[256];
    GetDlgItemTextA(window, IDC_STATUS_LINE_2, text, sizeof text);
    return text;
  }
  int bar(int id) const { return static_cast<int>(SendDlgItemMessageA(window, id, PBM_GETPOS, 0, 0)); }

  void counters(std::uint32_t done, std::uint32_t total, std::uint32_t start = 0) {
    state.progress.overall_bytes_done = done;
    state.progress.overall_bytes_total = total;
    state.progress.overall_start_time = start;
  }

  HWND window = nullptr;
};

TEST_F(progress_window_test, the_status_line_waits_more_than_a_second_after_the_first_call) {
  counters(1572864, 10485760);
  show_transfer_progress_at(2000);
  EXPECT_EQ(status_line(), "Info2");
  show_transfer_progress_at(3000);
  EXPECT_EQ(status_line(), "Info2");
  show_transfer_progress_at(3001);
  EXPECT_EQ(status_line(), "Total: 1.5 MB of 10.0 MB (511.8 KB/Sec)");

  // Written again only once another second has passed.
  counters(2097152, 10485760);
  show_transfer_progress_at(4000);
  EXPECT_EQ(status_line(), "Total: 1.5 MB of 10.0 MB (511.8 KB/Sec)");
}

TEST_F(progress_window_test, figures_read_in_the_right_units) {
  counters(1572864, 10485760);
  show_transfer_progress_at(0);
  show_transfer_progress_at(3000);
  EXPECT_EQ(status_line(), "Total: 1.5 MB of 10.0 MB (512.0 KB/Sec)");
  EXPECT_EQ(title(), "15% - Corvid Update");
  EXPECT_EQ(bar(IDC_OVERALL_BAR), 15);

  counters(1048576, 1048576 + 1024, 5000);
  show_transfer_progress_at(5000 + 1024 * 1000);
  EXPECT_EQ(status_line(), "Total: 1024.0 KB of 1.0 MB (1.0 KB/Sec)");

  counters(4u * 1048576 * 1024 - 1, 4u * 1048576 * 1024 - 1, 2000000);
  show_transfer_progress_at(2002000);
  EXPECT_EQ(status_line(), "Total: 4096.0 MB of 4096.0 MB (2048.0 MB/Sec)");
}

TEST_F(progress_window_test, the_title_changes_only_with_the_overall_percentage) {
  counters(512, 1048576);
  show_transfer_progress_at(0);
  EXPECT_EQ(title(), "Title");
  EXPECT_EQ(bar(IDC_OVERALL_BAR), 0);

  counters(1048575, 1048576);  // cut toward zero: 99, not 100
  show_transfer_progress_at(10);
  EXPECT_EQ(title(), "99% - Corvid Update");

  SetWindowTextA(window, "changed elsewhere");
  show_transfer_progress_at(20);
  EXPECT_EQ(title(), "changed elsewhere");

  counters(5000, 0);
  show_transfer_progress_at(30);
  EXPECT_EQ(title(), "0% - Corvid Update");
  EXPECT_EQ(bar(IDC_OVERALL_BAR), 0);
}

TEST_F(progress_window_test, the_file_bar_follows_what_the_display_itself_last_sent) {
  state.progress.file_bytes_done = 50;
  state.progress.file_bytes_total = 100;
  show_transfer_progress_at(0);
  EXPECT_EQ(bar(IDC_FILE_BAR), 50);

  // The fetcher puts the bar back to 0 for a new file; the same percentage is not
  // sent again.
  SendDlgItemMessageA(window, IDC_FILE_BAR, PBM_SETPOS, 0, 0);
  show_transfer_progress_at(10);
  EXPECT_EQ(bar(IDC_FILE_BAR), 0);
  state.progress.file_bytes_done = 75;
  show_transfer_progress_at(20);
  EXPECT_EQ(bar(IDC_FILE_BAR), 75);
}

TEST_F(progress_window_test, translations_are_used_and_a_misfitting_template_is_not) {
  load_language({{5, "Aktualisierung"},
                 {38, "%.1f %s / %.1f %s @ %.1f %s"},
                 {39, "MiB"},
                 {40, "KiB"},
                 {41, "MiB/s"},
                 {42, "KiB/s"}});
  counters(1572864, 10485760);
  show_transfer_progress_at(0);
  show_transfer_progress_at(3000);
  EXPECT_EQ(status_line(), "1.5 MiB / 10.0 MiB @ 512.0 KiB/s");
  EXPECT_EQ(title(), "15% - Aktualisierung");

  load_language({{38, "%s of %d and %n"}, {39, "MB"}, {40, "KB"}, {41, "MB/Sec"}, {42, "KB/Sec"}});
  show_transfer_progress_at(5000);
  EXPECT_EQ(status_line(), "Total: 1.5 MB of 10.0 MB (307.2 KB/Sec)");

  // A translation longer than the status buffer is cut, not overrun.
  std::string long_template(400, 'w');
  load_language({{38, long_template.c_str()}});
  show_transfer_progress_at(7000);
  EXPECT_EQ(status_line(), std::string(255, 'w'));
  state.string_table.release();
}

}  // namespace

}  // namespace corvid
