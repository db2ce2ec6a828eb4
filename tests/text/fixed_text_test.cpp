#include "text/fixed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvid {

TEST(fixed_text, copies_appends_and_formats_are_cut_at_the_buffer_and_report_it) {
  fixed_text<8> text;
  EXPECT_TRUE(text.assign("abc"));
  EXPECT_TRUE(text.append("defg"));
  EXPECT_EQ(text.view(), "abcdefg");
  EXPECT_FALSE(text.append("h"));
  EXPECT_EQ(text.size(), 7u);

  EXPECT_FALSE(text.assign(std::string(100, 'x')));
  EXPECT_EQ(text.view(), std::string(7, 'x'));

  EXPECT_TRUE(text.format("%d-%s", 12, "ab"));
  EXPECT_EQ(text.view(), "12-ab");
  EXPECT_FALSE(text.format("%s", "0123456789"));
  EXPECT_EQ(text.view(), "0123456");
}

TEST(fixed_text, a_one_byte_text_holds_only_the_terminator) {
  fixed_text<1> text;
  EXPECT_TRUE(text.empty());
  EXPECT_FALSE(text.assign("a"));
  EXPECT_TRUE(text.empty());
  EXPECT_TRUE(text.assign(""));
}

}  // namespace corvid
