#include "patch/list_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "patch/fields.h"
#include "patch/list_line_reader.h"

namespace {

std::vector<std::string> fields_of(std::string_view line) {
  std::vector<std::string> out;
  std::string_view field;
  while (next_field(line, field)) out.emplace_back(field);
  return out;
}

std::vector<std::string> lines_of(list_line_reader& reader, std::size_t capacity) {
  std::vector<std::string> out;
  std::vector<char> buffer(capacity);
  for (int guard = 0; guard < 100 && reader.next_line(buffer.data(), capacity); ++guard) {
    out.emplace_back(buffer.data());
  }
  return out;
}

std::uint32_t hex_of(std::string_view line) {
  std::uint32_t value = 0xABCDu;
  next_hex_field(line, value, 16);
  return value;
}

TEST(fields, quotes_hold_commas_and_unquoted_names_end_at_one) {
  EXPECT_EQ(fields_of("1,2,3,4,\"a,b.dat\""), (std::vector<std::string>{"1", "2", "3", "4", "a,b.dat"}));
  EXPECT_EQ(fields_of("1,2,3,4,a,b.dat"), (std::vector<std::string>{"1", "2", "3", "4", "a", "b.dat"}));
  file_entry entry;
  ASSERT_TRUE(parse_entry_line("1,2,3,4,a,b.dat", entry));
  EXPECT_EQ(entry.name, "a");
  ASSERT_TRUE(parse_entry_line("1,2,3,4,\"a,b.dat\",rest", entry));
  EXPECT_EQ(entry.name, "a,b.dat");
}

TEST(fields, the_quote_rule_at_its_edges) {
  // Text before an opening quote is dropped; text after a closing quote starts the
  // next field; only one comma right after the quote is taken with it.
  EXPECT_EQ(fields_of("xx\"a b\"c,d"), (std::vector<std::string>{"a b", "c", "d"}));
  EXPECT_EQ(fields_of("\"a\",,b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(fields_of(" a , b"), (std::vector<std::string>{" a ", " b"}));
  EXPECT_EQ(fields_of("a,\"open"), (std::vector<std::string>{"a"})) << "an unclosed quote ends the fields";

  std::string_view line = "\"open,never closed";
  std::string_view field = "kept";
  EXPECT_FALSE(next_field(line, field));
  EXPECT_EQ(field, "kept");
  EXPECT_EQ(line, "\"open,never closed");

  std::string_view empty;
  EXPECT_FALSE(next_field(empty, field));
  EXPECT_EQ(field, "kept");
}

TEST(fields, hexadecimal_numbers_read_as_strtoul_does) {
  EXPECT_EQ(hex_of(" 0x1F"), 31u);
  EXPECT_EQ(hex_of("1G"), 1u);
  EXPECT_EQ(hex_of(",rest"), 0u);
  EXPECT_EQ(hex_of("zz"), 0u);
  EXPECT_EQ(hex_of("0x"), 0u);
  EXPECT_EQ(hex_of("FFFFFFFF"), 0xFFFFFFFFu);
  EXPECT_EQ(hex_of("100000000"), 0xFFFFFFFFu);
  EXPECT_EQ(hex_of("-1"), 0xFFFFFFFFu);
  EXPECT_EQ(hex_of("-10"), 0xFFFFFFF0u);
  EXPECT_EQ(hex_of("-2"), 0xFFFFFFFEu);
  EXPECT_EQ(hex_of("\"1a2b\""), 0x1A2Bu);
  EXPECT_EQ(hex_of(""), 0xABCDu) << "no field leaves the value as it was";
  // Only the first 255 characters of a field count.
  EXPECT_EQ(hex_of(std::string(255, ' ') + "1F"), 0u);
  EXPECT_EQ(hex_of(std::string(253, ' ') + "1F"), 31u);
}

TEST(list_header, count_bounds_and_atoi_reading) {
  int count = -5;
  EXPECT_TRUE(parse_list_count("7500", count));
  EXPECT_EQ(count, 7500);
  EXPECT_TRUE(parse_list_count("  +12 files", count));
  EXPECT_EQ(count, 12);
  for (const char* refused : {"7501", "0", "-1", "files", "", "99999999999999999999"}) {
    count = 3;
    EXPECT_FALSE(parse_list_count(refused, count)) << refused;
    EXPECT_EQ(count, 3);
  }
}

TEST(list_header, only_the_exact_header_line_opens_a_list) {
  int count = 0;
  list_line_reader good("Corvid Patch\r\n2\r\n");
  EXPECT_TRUE(read_list_header(good, count));
  EXPECT_EQ(count, 2);
  for (const char* text : {"Corvid Patch \n1\n", "corvid patch\n1\n", " Corvid Patch\n1\n",
                           "Corvid Patch\n", ""}) {
    list_line_reader lines(text);
    EXPECT_FALSE(read_list_header(lines, count)) << text;
  }
}

TEST(lines, crlf_and_lf_lists_read_alike) {
  const char* lf = "Corvid Patch\n2\n1,2,3,4,a.dat\n5,6,7,8,\"b,c.dat\"";
  const char* crlf = "Corvid Patch\r\n2\r\n1,2,3,4,a.dat\r\n5,6,7,8,\"b,c.dat\"\r\n";
  list_line_reader a(lf);
  list_line_reader b(crlf);
  EXPECT_EQ(lines_of(a, 512), lines_of(b, 512));
  list_line_reader c(crlf);
  EXPECT_EQ(lines_of(c, 512), (std::vector<std::string>{"Corvid Patch", "2", "1,2,3,4,a.dat",
                                                         "5,6,7,8,\"b,c.dat\""}));
}

TEST(lines, a_line_that_fills_the_buffer_is_followed_by_an_empty_one) {
  std::string full(511, 'x');
  std::string longer(600, 'y');
  std::string text = full + "\n" + longer + "\r\n" + std::string(510, 'z') + "\r\nlast";
  list_line_reader lines(text);
  std::vector<std::string> got = lines_of(lines, 512);
  ASSERT_EQ(got.size(), 6u);
  EXPECT_EQ(got[0], full);
  EXPECT_EQ(got[1], "");
  EXPECT_EQ(got[2], std::string(511, 'y'));
  EXPECT_EQ(got[3], std::string(89, 'y'));
  EXPECT_EQ(got[4], std::string(510, 'z')) << "a carriage return takes no room";
  EXPECT_EQ(got[5], "last");
}

TEST(lines, a_stream_reads_like_the_same_text_in_memory) {
  std::string text = "Corvid Patch\r\n" + std::string(1030, 'q') + "\r\n\r\n;x\rmid\nend";
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  list_line_reader from_file(file);
  list_line_reader from_memory(text);
  std::vector<std::string> expected = lines_of(from_memory, 1024);
  EXPECT_EQ(lines_of(from_file, 1024), expected);
  ASSERT_EQ(expected.size(), 6u);
  EXPECT_EQ(expected[2], std::string(7, 'q'));
  EXPECT_EQ(expected[4], ";x\rmid") << "a carriage return inside a line stays";
  std::fclose(file);
}

TEST(entries, more_lines_than_the_count_are_not_read_and_fewer_fail) {
  list_line_reader lines("1a2b,f00,a1b2c3d4,3b9aca00,data/map.dat\n1,1,1,1,extra.dat\n");
  file_entry entry;
  ASSERT_TRUE(read_entry_lines(lines, &entry, 1));
  EXPECT_EQ(entry.size, 0x1A2Bu);
  EXPECT_EQ(entry.packed_size, 0xF00u);
  EXPECT_EQ(entry.crc32, 0xA1B2C3D4u);
  EXPECT_EQ(entry.time, 0x3B9ACA00u);
  EXPECT_EQ(entry.name, "data/map.dat");

  file_entry ten[10];
  std::string nine;
  for (int i = 0; i < 9; ++i) nine += "1,1,1,1,f" + std::to_string(i) + ".dat\n";
  list_line_reader short_list(nine);
  EXPECT_FALSE(read_entry_lines(short_list, ten, 10));
}

TEST(entries, a_full_entry_line_takes_the_next_entry_slot_for_its_empty_rest) {
  std::string line = "1,2,3,4,\"a.dat\",";
  line += std::string(511 - line.size(), '-');
  std::string text = line + "\n5,6,7,8,b.dat\n";
  file_entry entries[2];
  list_line_reader one(text);
  ASSERT_TRUE(read_entry_lines(one, entries, 1));
  EXPECT_EQ(entries[0].name, "a.dat");
  // The second slot gets the empty line, not b.dat, and an entry without a name is refused.
  list_line_reader two(text);
  EXPECT_FALSE(read_entry_lines(two, entries, 2));
}

TEST(entries, names_that_leave_the_installation_make_the_list_invalid) {
  for (const char* name : {"../evil.dll", "data/../../evil.dll", "..", "data\\..\\..\\x", "C:evil.dll",
                           "C:/Windows/evil.dll", "/etc/passwd", "\\evil.dll", "file.dat:stream", ""}) {
    EXPECT_FALSE(listed_name_is_installable(name)) << name;
    std::string text = "1,2,3,4,\"" + std::string(name) + "\"\n";
    list_line_reader lines(text);
    file_entry entry;
    EXPECT_FALSE(read_entry_lines(lines, &entry, 1)) << name;
  }
  for (const char* name : {"data/map.dat", "a..b/..c/d..", "./x.dat", "sub\\dir\\f.txt"}) {
    EXPECT_TRUE(listed_name_is_installable(name)) << name;
  }
  file_entry entry;
  EXPECT_TRUE(parse_entry_line("1,2,3,4," + std::string(255, 'n'), entry));
  EXPECT_FALSE(parse_entry_line("1,2,3,4," + std::string(256, 'n'), entry));
}

TEST(patch_header, words_start_unaligned_at_offset_three) {
  const unsigned char bytes[21] = {'C', 'P', '~', 0x04, 0x03, 0x02, 0x01, 0xF0, 0x00, 0x00, 0x00,
                                   0xEF, 0xBE, 0xAD, 0xDE, 0x00, 0xCA, 0x9A, 0x3B, 0x55, 0x66};
  file_entry manifest;
  ASSERT_TRUE(parse_patch_header(bytes, sizeof bytes, manifest));
  EXPECT_EQ(manifest.name, "gfl.mft");
  EXPECT_EQ(manifest.size, 0x01020304u);
  EXPECT_EQ(manifest.packed_size, 0xF0u);
  EXPECT_EQ(manifest.crc32, 0xDEADBEEFu);
  EXPECT_EQ(manifest.time, 0x3B9ACA00u);
}

TEST(patch_header, short_or_wrong_magic_fails_and_fills_nothing) {
  unsigned char bytes[19] = {'C', 'P', '~', 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0};
  file_entry manifest;
  manifest.name.assign("before");
  EXPECT_FALSE(parse_patch_header(bytes, 18, manifest));
  EXPECT_FALSE(parse_patch_header(nullptr, 19, manifest));
  bytes[2] = '-';
  EXPECT_FALSE(parse_patch_header(bytes, 19, manifest));
  EXPECT_EQ(manifest.name, "before");
  EXPECT_EQ(manifest.size, 0u);
}

}  // namespace
