#include "patch/list_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "patch/fields.h"

namespace corvid {

namespace {

std::vector<std::string> fields_of(std::string_view line) {
  std::vector<std::string> out;
  std::string_view field;
  while (next_field(line, field)) out.emplace_back(field);
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
  line_source good("Corvid Patch\r\n2\r\n");
  EXPECT_TRUE(read_list_header(good, count));
  EXPECT_EQ(count, 2);
  for (const char* text : {"Corvid Patch \n1\n", "corvid patch\n1\n", " Corvid Patch\n1\n", "Corvid Patch\n", ""}) {
    line_source lines(text);
    EXPECT_FALSE(read_list_header(lines, count)) << text;
  }
}

TEST(entries, more_lines_than_the_count_are_not_read_and_fewer_fail) {
  line_source lines("1a2b,f00,a1b2c3d4,3b9aca00,data/map.dat\n1,1,1,1,extra.dat\n");
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
  line_source short_list(nine);
  EXPECT_FALSE(read_entry_lines(short_list, ten, 10));
}

TEST(entries, a_full_entry_line_takes_the_next_entry_slot_for_its_empty_rest) {
  std::string line = "1,2,3,4,\"a.dat\",";
  line += std::string(511 - line.size(), '-');
  std::string text = line + "\n5,6,7,8,b.dat\n";
  file_entry entries[2];
  line_source one(text);
  ASSERT_TRUE(read_entry_lines(one, entries, 1));
  EXPECT_EQ(entries[0].name, "a.dat");
  // The second slot gets the empty line, not b.dat, and an entry without a name is refused.
  line_source two(text);
  EXPECT_FALSE(read_entry_lines(two, entries, 2));
}

TEST(entries, names_that_leave_the_installation_or_name_no_file_of_their_own_make_the_list_invalid) {
  for (const char* name : {"../evil.dll",
                           "data/../../evil.dll",
                           "..",
                           "data\\..\\..\\x",
                           "C:evil.dll",
                           "C:/Windows/evil.dll",
                           "/etc/passwd",
                           "\\evil.dll",
                           "file.dat:stream",
                           "",
                           "com1.txt",
                           "data/nul.dat",
                           "CON",
                           "sub\\Lpt9\\x.dat",
                           "aux.tar.gz",
                           "prn .txt",
                           "conin$",
                           "data/CONOUT$.log",
                           "cfetch.dat",
                           "CFetch.DAT",
                           "./cfetch.dat",
                           ".\\cfetch.dat. ",
                           "data/cfetch9.dat",
                           "CFETCH1.DAT/x.dat",
                           "csigned.dat",
                           "./CSerial.DAT ."}) {
    EXPECT_FALSE(listed_name_is_installable(name)) << name;
    std::string text = "1,2,3,4,\"" + std::string(name) + "\"\n";
    line_source lines(text);
    file_entry entry;
    EXPECT_FALSE(read_entry_lines(lines, &entry, 1)) << name;
  }
  for (const char* name :
       {"data/map.dat", "a..b/..c/d..", "./x.dat", "sub\\dir\\f.txt", "com10.txt", "lpt0", "console/auxiliary.dat",
        "nul_x.dat", "conin.dat", "cfetch.dat.old", "cfetch0.dat", "cfetch10.dat", "xcfetch.dat", "data/csigned.dat"}) {
    EXPECT_TRUE(listed_name_is_installable(name)) << name;
  }
  file_entry entry;
  EXPECT_TRUE(parse_entry_line("1,2,3,4," + std::string(255, 'n'), entry));
  EXPECT_FALSE(parse_entry_line("1,2,3,4," + std::string(256, 'n'), entry));
}

TEST(list_findings, say_on_which_line_and_why_a_list_is_refused_or_read_otherwise) {
  struct outcome {
    bool taken;
    list_findings found;
  };
  auto read = [](const std::string& text) {
    line_source lines(text);
    std::vector<file_entry> entries;
    outcome result;
    result.taken = read_list(lines, entries, &result.found);
    return result;
  };
  auto only = [](const outcome& result, std::size_t line, list_finding why, const std::string& text) {
    ASSERT_EQ(result.found.size(), 1u);
    EXPECT_EQ(result.found[0].line, line);
    EXPECT_EQ(result.found[0].why, why);
    EXPECT_EQ(result.found[0].text, text);
  };
  EXPECT_TRUE(read("Corvid Patch\n1\n1,2,3,4,a\n").found.empty());
  only(read("Corvid Patch \n1\n1,2,3,4,a\n"), 1, list_finding::wrong_header, "Corvid Patch ");
  only(read("Corvid Patch\nmany\n"), 2, list_finding::bad_count, "many");
  only(read("Corvid Patch\n"), 2, list_finding::bad_count, "");
  only(read("Corvid Patch\n3\n1,2,3,4,a\n"), 4, list_finding::entry_missing, "3");
  only(read("Corvid Patch\n2\n1,2,3,4,a\n1,2,3,4,../b\n"), 4, list_finding::name_refused, "../b");
  // The client takes a full entry line and leaves its rest for the next entry.
  std::string full = "1,2,3,4,a.dat,";
  full += std::string(511 - full.size(), '-');
  outcome split = read("Corvid Patch\n1\n" + full + "\n");
  EXPECT_TRUE(split.taken);
  only(split, 3, list_finding::entry_line_split, "");
}

TEST(patch_header, words_start_unaligned_at_offset_three) {
  const unsigned char bytes[21] = {'C',  'P',  '~',  0x04, 0x03, 0x02, 0x01, 0xF0, 0x00, 0x00, 0x00,
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

}  // namespace corvid
