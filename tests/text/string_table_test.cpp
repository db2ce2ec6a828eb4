#include "text/string_table.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/install_folder.h"
#include "text/messages.h"

namespace corvid {

namespace {

class string_table_test : public ::testing::Test {
 protected:
  void SetUp() override { table_.create(512, 64); }
  void TearDown() override { table_.release(); }

  // The language file with these bytes; its path.
  std::string language_file(const std::string& bytes) {
    folder_.write("patch_strings.dat", bytes);
    return (folder_ / "patch_strings.dat").string();
  }

  std::string text(std::uint16_t number) { return table_.lookup("<default>", number); }

  install_folder folder_{"strings"};
  string_table table_;
};

TEST_F(string_table_test, without_a_file_every_message_keeps_its_default) {
  const char* fallback = "Cancel";
  EXPECT_EQ(table_.load((folder_ / "missing.dat").string().c_str()), -2);
  EXPECT_EQ(table_.load(nullptr), -1);
  EXPECT_FALSE(table_.loaded());
  // The caller's own string comes back, not a copy.
  EXPECT_EQ(table_.lookup(fallback, 4), fallback);
}

TEST_F(string_table_test, line_n_is_message_n_and_an_empty_line_is_an_empty_text) {
  ASSERT_EQ(table_.load(language_file("one\n\nthree\n").c_str()), 0);
  EXPECT_EQ(text(1), "one");
  EXPECT_EQ(text(2), "");
  EXPECT_EQ(text(3), "three");
  // The slot right after a final line feed was read (empty); the ones beyond never were.
  EXPECT_EQ(text(4), "");
  EXPECT_EQ(text(5), "<default>");
  EXPECT_EQ(text(64), "<default>");
}

TEST_F(string_table_test, crlf_and_lf_files_give_the_same_texts_and_every_cr_is_dropped) {
  ASSERT_EQ(table_.load(language_file("alpha\r\nbe\rta\r\n").c_str()), 0);
  EXPECT_EQ(text(1), "alpha");
  EXPECT_EQ(text(2), "beta");
}

TEST_F(string_table_test, backslash_n_becomes_a_line_break_and_other_backslashes_stay) {
  ASSERT_EQ(table_.load(language_file("a\\nb\\n\nc:\\temp\\\nend\\").c_str()), 0);
  EXPECT_EQ(text(1), "a\nb\n");
  EXPECT_EQ(text(2), "c:\\temp\\");
  EXPECT_EQ(text(3), "end\\");
}

TEST_F(string_table_test, a_line_of_511_bytes_fills_its_slot_and_leaves_an_empty_one_after_it) {
  std::string line(511, 'x');
  ASSERT_EQ(table_.load(language_file(line + "\nnext\n").c_str()), 0);
  EXPECT_EQ(text(1), line);
  EXPECT_EQ(text(2), "");
  EXPECT_EQ(text(3), "next");
}

TEST_F(string_table_test, a_longer_line_goes_on_in_the_next_slot) {
  std::string line(511, 'y');
  ASSERT_EQ(table_.load(language_file(line + "z\nnext\n").c_str()), 0);
  EXPECT_EQ(text(1), line);
  EXPECT_EQ(text(2), "z");
  EXPECT_EQ(text(3), "next");
}

TEST_F(string_table_test, a_carriage_return_cut_off_by_the_slot_limit_does_not_survive_in_the_next) {
  // 511 bytes, then CR LF: the CR becomes the whole of the next slot and is dropped.
  std::string line(511, 'q');
  ASSERT_EQ(table_.load(language_file(line + "\r\nafter\r\n").c_str()), 0);
  EXPECT_EQ(text(1), line);
  EXPECT_EQ(text(2), "");
  EXPECT_EQ(text(3), "after");
}

TEST_F(string_table_test, lines_after_the_64th_are_never_read) {
  std::string bytes;
  for (int i = 1; i <= 70; ++i) bytes += "line " + std::to_string(i) + "\n";
  ASSERT_EQ(table_.load(language_file(bytes).c_str()), 0);
  EXPECT_EQ(text(64), "line 64");
  EXPECT_EQ(text(65), "<default>");
}

TEST_F(string_table_test, numbers_outside_one_to_64_give_the_default) {
  ASSERT_EQ(table_.load(language_file("first\n").c_str()), 0);
  EXPECT_EQ(text(0), "<default>");
  EXPECT_EQ(text(65), "<default>");
  EXPECT_EQ(text(65535), "<default>");
}

TEST_F(string_table_test, a_last_line_without_line_feed_is_still_read) {
  ASSERT_EQ(table_.load(language_file("first\nlast").c_str()), 0);
  EXPECT_EQ(text(2), "last");
  EXPECT_EQ(text(3), "<default>");
}

TEST_F(string_table_test, an_empty_file_loads_with_one_empty_text) {
  ASSERT_EQ(table_.load(language_file("").c_str()), 0);
  EXPECT_TRUE(table_.loaded());
  EXPECT_EQ(text(1), "");
  EXPECT_EQ(text(2), "<default>");
}

TEST_F(string_table_test, after_release_every_lookup_gives_its_default) {
  ASSERT_EQ(table_.load(language_file("one\n").c_str()), 0);
  table_.release();
  EXPECT_FALSE(table_.exists());
  EXPECT_EQ(text(1), "<default>");
}

TEST_F(string_table_test, a_table_without_storage_gives_defaults_even_when_loaded) {
  string_table empty;
  empty.create(512, 0);
  EXPECT_EQ(empty.load(language_file("one\n").c_str()), 0);
  EXPECT_STREQ(empty.lookup("d", 1), "d");
}

TEST_F(string_table_test, a_failed_load_leaves_an_earlier_load_in_place) {
  ASSERT_EQ(table_.load(language_file("kept\n").c_str()), 0);
  EXPECT_EQ(table_.load((folder_ / "missing.dat").string().c_str()), -2);
  EXPECT_EQ(text(1), "kept");
}

// Translations made before a message was added end with the line of the last message
// they knew; the slot after that line is empty, so a new message must not take it.
TEST_F(string_table_test, a_message_added_later_stays_english_in_older_files_and_translates_in_newer) {
  std::string lines;
  for (int i = 1; i <= 44; ++i) lines += "line " + std::to_string(i) + "\n";
  ASSERT_EQ(table_.load(language_file(lines).c_str()), 0);
  EXPECT_STREQ(message_text(table_, message::update_not_verified), "The update could not be verified.");
  ASSERT_EQ(table_.load(language_file(lines + "\nDie Aktualisierung ist nicht beglaubigt.\n").c_str()), 0);
  EXPECT_STREQ(message_text(table_, message::update_not_verified), "Die Aktualisierung ist nicht beglaubigt.");
}

}  // namespace

}  // namespace corvid
