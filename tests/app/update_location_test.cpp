#include "app/update_location.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/client_test.h"

namespace corvid {

namespace {

class update_location_test : public client_test {
 protected:
  update_location_result read(const std::string& bytes) {
    folder_.write("update.dat", bytes);
    return read_update_location("update.dat");
  }
};

TEST_F(update_location_test, crlf_lines_read_like_lf_lines_and_locations_are_lower_cased) {
  ASSERT_EQ(read("Corvid Patch\r\nInfo.Example.COM/Path\r\nFallBack.one\r\n"), update_location_result::read);
  EXPECT_EQ(state.server_information_location.view(), "info.example.com/path");
  EXPECT_EQ(state.fallback_locations[0].view(), "fallback.one");
  EXPECT_TRUE(state.fallback_locations[1].empty());
}

TEST_F(update_location_test, two_lines_leave_every_fallback_empty) {
  ASSERT_EQ(read("Corvid Patch\nhost"), update_location_result::read);
  EXPECT_EQ(state.server_information_location.view(), "host");
  for (const auto& fallback : state.fallback_locations) EXPECT_TRUE(fallback.empty());
}

TEST_F(update_location_test, an_empty_third_line_still_lets_the_fourth_and_fifth_be_read) {
  ASSERT_EQ(read("Corvid Patch\nhost\n\nsecond\nthird\nignored\n"), update_location_result::read);
  EXPECT_TRUE(state.fallback_locations[0].empty());
  EXPECT_EQ(state.fallback_locations[1].view(), "second");
  EXPECT_EQ(state.fallback_locations[2].view(), "third");
}

TEST_F(update_location_test, the_file_must_be_there_and_its_first_line_must_match_exactly) {
  EXPECT_EQ(read_update_location("absent.dat"), update_location_result::cannot_open);
  EXPECT_EQ(read("Corvid Patch \nhost\n"), update_location_result::wrong_first_line);
  EXPECT_EQ(read("corvid patch\nhost\n"), update_location_result::wrong_first_line);
  EXPECT_EQ(read(""), update_location_result::wrong_first_line);
  EXPECT_EQ(read(std::string("Corvid\0 Patch\nhost\n", 19)), update_location_result::wrong_first_line);
}

TEST_F(update_location_test, a_zero_byte_ends_the_text_of_its_line) {
  ASSERT_EQ(read(std::string("Corvid Patch\0junk\nhost\0junk\nnext\n", 33)), update_location_result::read);
  EXPECT_EQ(state.server_information_location.view(), "host");
  EXPECT_EQ(state.fallback_locations[0].view(), "next");
}

TEST_F(update_location_test, a_missing_or_empty_second_line_names_no_location) {
  EXPECT_EQ(read("Corvid Patch\n"), update_location_result::no_location);
  EXPECT_EQ(read("Corvid Patch\n\nfallback\n"), update_location_result::no_location);
  EXPECT_EQ(read("Corvid Patch\r\n\r\n"), update_location_result::no_location);
}

TEST_F(update_location_test, an_over_long_line_is_cut_and_its_rest_never_becomes_a_location) {
  std::string long_line(1500, 'h');
  ASSERT_EQ(read("Corvid Patch\n" + long_line + "\nfallback\n"), update_location_result::read);
  EXPECT_EQ(state.server_information_location.view(), long_line.substr(0, 1023));
  EXPECT_EQ(state.fallback_locations[0].view(), "fallback");
}

}  // namespace

}  // namespace corvid
