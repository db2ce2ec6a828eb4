#include "net/network_error.h"

#include <gtest/gtest.h>

#include <string>

#include "core/update_state.h"
#include "tests/net/net_fixture.h"
#include "tests/support/client_test.h"

namespace corvid {

namespace {

const std::string advice =
    "\nWait a while and try connecting again.\nIf you still cannot connect, check your Internet settings.";

using network_error_test = client_test;

TEST_F(network_error_test, without_a_server_response_one_box_carries_the_code) {
  state.last_error_code = 201;
  box_closer closer;
  report_network_error("Cannot connect to update server.");
  auto boxes = closer.stop();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Error Message (201)");
  EXPECT_EQ(boxes[0].text, "Cannot connect to update server." + advice);
  EXPECT_TRUE(boxes[0].warning_icon);
}

TEST_F(network_error_test, a_server_response_comes_first_in_a_box_of_its_own) {
  box_closer closer;
  show_network_error("Cannot update patch utility.", "550 No such file.", 550, 0);
  show_network_error("Cannot update patch utility.", "Service closing.", 0, 304);
  auto boxes = closer.stop();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].caption, "Error Message (550)");
  EXPECT_EQ(boxes[0].text, "550 No such file.");
  EXPECT_EQ(boxes[1].caption, "Error Message");
  EXPECT_EQ(boxes[1].text, "Cannot update patch utility." + advice);
  EXPECT_EQ(boxes[2].caption, "Error Message");
  EXPECT_EQ(boxes[2].text, "Service closing.");
  EXPECT_EQ(boxes[3].caption, "Error Message (304)");
  for (const seen_box& box : boxes) EXPECT_TRUE(box.warning_icon) << box.text;
}

TEST_F(network_error_test, translations_are_used_and_only_a_fitting_template_formats) {
  load_language({{17, "Fehler"}, {44, "Bitte spaeter erneut versuchen."}});
  box_closer closer;
  show_network_error("Keine Verbindung.", "", 0, 206);
  auto boxes = closer.stop();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Fehler (206)");
  EXPECT_EQ(boxes[0].text, "Bitte spaeter erneut versuchen.");

  load_language({{17, "Fehler"}, {44, "%s: %d%% %s"}});
  box_closer second;
  show_network_error("Keine Verbindung.", "", 0, 0);
  boxes = second.stop();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Keine Verbindung." + advice);
  state.string_table.release();
}

TEST_F(network_error_test, an_over_long_text_is_cut_to_the_message_buffer) {
  std::string long_text(2000, 'x');
  box_closer closer;
  show_network_error(long_text.c_str(), "", 0, 0);
  auto boxes = closer.stop();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, std::string(1023, 'x'));
}

}  // namespace

}  // namespace corvid
