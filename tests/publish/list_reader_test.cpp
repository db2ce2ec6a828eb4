// The reader that verify and the republish rely on must read lists as the client
// does, including the client's quirks.
#include <gtest/gtest.h>

#include "publish/list_reader.h"

namespace {
std::vector<std::string> fields_of(std::string line) {
  std::vector<std::string> fields;
  std::string_view rest = line;
  std::string field;
  while (next_field(rest, field)) fields.push_back(field);
  return fields;
}

std::uint32_t hex_of(std::string text) {
  std::string_view rest = text;
  std::uint32_t value = 77;
  next_hex_field(rest, value);
  return value;
}
}  // namespace

TEST(publish_list_reader, field_rule_quotes_commas_and_keeps_spaces) {
  EXPECT_EQ(fields_of("1,2,\"a,b.dat\""), (std::vector<std::string>{"1", "2", "a,b.dat"}));
  EXPECT_EQ(fields_of("1,a,b.dat"), (std::vector<std::string>{"1", "a", "b.dat"}));
  EXPECT_EQ(fields_of(" x , y"), (std::vector<std::string>{" x ", " y"}));
  EXPECT_EQ(fields_of("lost\"kept\"tail,z"), (std::vector<std::string>{"kept", "tail", "z"}));
  EXPECT_EQ(fields_of("a,\"open"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(fields_of(",,x"), (std::vector<std::string>{"", "", "x"}));
}

TEST(publish_list_reader, hex_fields_convert_like_strtoul_in_32_bits) {
  EXPECT_EQ(hex_of(" 0x1F"), 31u);
  EXPECT_EQ(hex_of("1G"), 1u);
  EXPECT_EQ(hex_of(",next"), 0u);
  EXPECT_EQ(hex_of("123456789"), 0xffffffffu);
  EXPECT_EQ(hex_of("-1"), 0xffffffffu);
  EXPECT_EQ(hex_of("-2"), 0xfffffffeu);
  EXPECT_EQ(hex_of("0x"), 0u);
  std::string_view none;
  std::uint32_t untouched = 5;
  EXPECT_FALSE(next_hex_field(none, untouched));
  EXPECT_EQ(untouched, 5u);
}

TEST(publish_list_reader, long_lines_come_back_in_two_and_carriage_returns_go) {
  std::string text = std::string(511, 'x') + "\nnext\r\nlast";
  line_reader reader(text);
  std::string_view line;
  ASSERT_TRUE(reader.next_line(entry_line_limit, line));
  EXPECT_EQ(line.size(), 511u);
  ASSERT_TRUE(reader.next_line(entry_line_limit, line));
  EXPECT_EQ(line, "");
  ASSERT_TRUE(reader.next_line(entry_line_limit, line));
  EXPECT_EQ(line, "next");
  ASSERT_TRUE(reader.next_line(entry_line_limit, line));
  EXPECT_EQ(line, "last");
  EXPECT_FALSE(reader.next_line(entry_line_limit, line));
}

TEST(publish_list_reader, lists_need_the_header_a_count_from_1_to_7500_and_that_many_lines) {
  std::vector<list_entry> entries;
  std::string problem;
  std::string lines;
  for (int i = 0; i < 7500; ++i) lines += "1,2,3,4,f" + std::to_string(i) + "\n";
  EXPECT_TRUE(read_list_text("Corvid Patch\r\n7500\r\n" + lines, entries, problem)) << problem;
  EXPECT_EQ(entries.size(), 7500u);
  EXPECT_EQ(entries[7499].name, "f7499");
  EXPECT_EQ(entries[0].crc32, 3u);

  for (std::string count : {"7501", "0", "-1", "many"})
    EXPECT_FALSE(read_list_text("Corvid Patch\n" + count + "\n" + lines, entries, problem)) << count;
  EXPECT_FALSE(read_list_text("Corvid Patch \n1\n1,2,3,4,a\n", entries, problem));
  std::string nine;
  for (int i = 0; i < 9; ++i) nine += "1,2,3,4,g\n";
  EXPECT_FALSE(read_list_text("Corvid Patch\n10\n" + nine, entries, problem));
  EXPECT_NE(problem.find("only 9"), std::string::npos) << problem;
  EXPECT_TRUE(read_list_text("Corvid Patch\n1\n1,2,3,4,a\nextra\n", entries, problem));
  EXPECT_EQ(entries.size(), 1u);
}

TEST(publish_list_reader, patch_header_words_start_at_offset_3) {
  const char bytes[20] = {'C', 'P', '~', 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 9};
  list_entry manifest;
  ASSERT_TRUE(decode_patch_header(std::string_view(bytes, 20), manifest));
  EXPECT_EQ(manifest.name, "gfl.mft");
  EXPECT_EQ(manifest.size, 1u);
  EXPECT_EQ(manifest.packed_size, 2u);
  EXPECT_EQ(manifest.crc32, 3u);
  EXPECT_EQ(manifest.time, 4u);
  EXPECT_FALSE(decode_patch_header(std::string_view(bytes, 18), manifest));
  EXPECT_FALSE(decode_patch_header(std::string("CP-") + std::string(16, '\0'), manifest));
}
