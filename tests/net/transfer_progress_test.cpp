#include "net/transfer_progress.h"

#include <gtest/gtest.h>

#include <string>

#include "core/progress_view.h"
#include "core/update_state.h"
#include "tests/net/net_fixture.h"
#include "tests/support/client_test.h"

namespace corvid {

namespace {

// The display's own decisions, seen through a view that keeps what it was last told;
// the progress window that shows them is the application's.
class transfer_display_test : public client_test, private progress_view {
 protected:
  void SetUp() override { state.view = this; }

  void counters(std::uint32_t done, std::uint32_t total, std::uint32_t start = 0) {
    state.progress.overall_bytes_done = done;
    state.progress.overall_bytes_total = total;
    state.progress.overall_start_time = start;
  }

  std::string status_line = "Info2";
  std::string shown_title = "Title";
  int file_bar_percent = 0;
  int overall_bar_percent = 0;

 private:
  void status_line_1(const char*) override {}
  void status_line_2(const char* text) override { status_line = text; }
  void file_bar(int percent) override { file_bar_percent = percent; }
  void overall_bar(int percent) override { overall_bar_percent = percent; }
  void title(const char* text) override { shown_title = text; }
};

TEST_F(transfer_display_test, the_status_line_waits_more_than_a_second_after_the_first_call) {
  counters(1572864, 10485760);
  show_transfer_progress_at(2000);
  EXPECT_EQ(status_line, "Info2");
  show_transfer_progress_at(3000);
  EXPECT_EQ(status_line, "Info2");
  show_transfer_progress_at(3001);
  EXPECT_EQ(status_line, "Total: 1.5 MB of 10.0 MB (511.8 KB/Sec)");

  // Written again only once another second has passed.
  counters(2097152, 10485760);
  show_transfer_progress_at(4000);
  EXPECT_EQ(status_line, "Total: 1.5 MB of 10.0 MB (511.8 KB/Sec)");
}

TEST_F(transfer_display_test, figures_read_in_the_right_units) {
  counters(1572864, 10485760);
  show_transfer_progress_at(0);
  show_transfer_progress_at(3000);
  EXPECT_EQ(status_line, "Total: 1.5 MB of 10.0 MB (512.0 KB/Sec)");
  EXPECT_EQ(shown_title, "15% - Corvid Update");
  EXPECT_EQ(overall_bar_percent, 15);

  counters(1048576, 1048576 + 1024, 5000);
  show_transfer_progress_at(5000 + 1024 * 1000);
  EXPECT_EQ(status_line, "Total: 1024.0 KB of 1.0 MB (1.0 KB/Sec)");

  counters(4u * 1048576 * 1024 - 1, 4u * 1048576 * 1024 - 1, 2000000);
  show_transfer_progress_at(2002000);
  EXPECT_EQ(status_line, "Total: 4096.0 MB of 4096.0 MB (2048.0 MB/Sec)");
}

TEST_F(transfer_display_test, the_title_changes_only_with_the_overall_percentage) {
  counters(512, 1048576);
  show_transfer_progress_at(0);
  EXPECT_EQ(shown_title, "Title");
  EXPECT_EQ(overall_bar_percent, 0);

  counters(1048575, 1048576);  // cut toward zero: 99, not 100
  show_transfer_progress_at(10);
  EXPECT_EQ(shown_title, "99% - Corvid Update");

  shown_title = "changed elsewhere";
  show_transfer_progress_at(20);
  EXPECT_EQ(shown_title, "changed elsewhere");

  counters(5000, 0);
  show_transfer_progress_at(30);
  EXPECT_EQ(shown_title, "0% - Corvid Update");
  EXPECT_EQ(overall_bar_percent, 0);
}

TEST_F(transfer_display_test, the_file_bar_follows_what_the_display_itself_last_sent) {
  state.progress.file_bytes_done = 50;
  state.progress.file_bytes_total = 100;
  show_transfer_progress_at(0);
  EXPECT_EQ(file_bar_percent, 50);

  // The fetcher puts the bar back to 0 for a new file; the same percentage is not
  // sent again.
  file_bar_percent = 0;
  show_transfer_progress_at(10);
  EXPECT_EQ(file_bar_percent, 0);
  state.progress.file_bytes_done = 75;
  show_transfer_progress_at(20);
  EXPECT_EQ(file_bar_percent, 75);
}

TEST_F(transfer_display_test, translations_are_used_and_a_misfitting_template_is_not) {
  load_language({{5, "Aktualisierung"},
                 {38, "%.1f %s / %.1f %s @ %.1f %s"},
                 {39, "MiB"},
                 {40, "KiB"},
                 {41, "MiB/s"},
                 {42, "KiB/s"}});
  counters(1572864, 10485760);
  show_transfer_progress_at(0);
  show_transfer_progress_at(3000);
  EXPECT_EQ(status_line, "1.5 MiB / 10.0 MiB @ 512.0 KiB/s");
  EXPECT_EQ(shown_title, "15% - Aktualisierung");

  load_language({{38, "%s of %d and %n"}, {39, "MB"}, {40, "KB"}, {41, "MB/Sec"}, {42, "KB/Sec"}});
  show_transfer_progress_at(5000);
  EXPECT_EQ(status_line, "Total: 1.5 MB of 10.0 MB (307.2 KB/Sec)");

  // A translation longer than the status buffer is cut, not overrun.
  std::string long_template(400, 'w');
  load_language({{38, long_template.c_str()}});
  show_transfer_progress_at(7000);
  EXPECT_EQ(status_line, std::string(255, 'w'));
  state.string_table.release();
}

}  // namespace

}  // namespace corvid
