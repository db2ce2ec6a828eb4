// Golden bytes, checked without the tool's own readers.
#include <gtest/gtest.h>
#include <zlib.h>

#include "publish/list_format.h"
#include "publish/zlib_stream.h"

namespace corvid {

using namespace corvid::publish;

TEST(publish_list_format, entry_lines_are_hexadecimal_and_quote_only_names_with_commas) {
  file_entry entry{"data/map.dat", 0x1a2b, 0xf00, 0xa1b2c3d4, 0x3b9aca00};
  EXPECT_EQ(format_entry_line(entry), "1a2b,f00,a1b2c3d4,3b9aca00,data/map.dat");
  entry.name = "a,b.dat";
  EXPECT_EQ(format_entry_line(entry), "1a2b,f00,a1b2c3d4,3b9aca00,\"a,b.dat\"");
  file_entry zero{" spaced name.txt", 0, 8, 0, 0xffffffff};
  EXPECT_EQ(format_entry_line(zero), "0,8,0,ffffffff, spaced name.txt");
}

TEST(publish_list_format, patch_header_is_magic_and_four_little_endian_words) {
  file_entry manifest{"gfl.mft", 0x04030201, 0x0d0c0b0a, 0xa1b2c3d4, 0x3b9aca00};
  patch_header_bytes bytes = encode_patch_header(manifest);
  const unsigned char expected[19] = {'C',  'P',  '~',  0x01, 0x02, 0x03, 0x04, 0x0a, 0x0b, 0x0c,
                                      0x0d, 0xd4, 0xc3, 0xb2, 0xa1, 0x00, 0xca, 0x9a, 0x3b};
  for (std::size_t i = 0; i < 19; ++i) EXPECT_EQ(bytes[i], expected[i]) << "byte " << i;
}

TEST(publish_list_format, manifest_inflates_with_zlib_uncompress_to_the_expected_text) {
  std::vector<file_entry> entries = {{"a,b.dat", 2, 10, 0x46ea081f, 0x6b186a24},
                                     {"Data/sub/big.bin", 0x186a0, 0x186c9, 0x983ad6bb, 0x6b186a24}};
  std::string text = format_list_text(entries);
  const std::string expected =
      "Corvid Patch\n2\n"
      "2,a,46ea081f,6b186a24,\"a,b.dat\"\n"
      "186a0,186c9,983ad6bb,6b186a24,Data/sub/big.bin\n";
  EXPECT_EQ(text, expected);

  std::string packed = compress_text(text, 9);
  std::string inflated(expected.size(), '\0');
  uLongf length = static_cast<uLongf>(inflated.size());
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(inflated.data()), &length,
                       reinterpret_cast<const Bytef*>(packed.data()), static_cast<uLong>(packed.size())),
            Z_OK);
  EXPECT_EQ(length, expected.size());
  EXPECT_EQ(inflated, expected);
  // A zlib stream, not raw deflate data: the client's uncompress needs the header.
  EXPECT_EQ(static_cast<unsigned char>(packed[0]) & 0x0f, 8);
  EXPECT_EQ(((static_cast<unsigned char>(packed[0]) << 8) | static_cast<unsigned char>(packed[1])) % 31, 0);
}

TEST(publish_list_format, lists_the_client_would_read_otherwise_are_refused_with_their_line) {
  std::vector<file_entry> entries;
  std::string problem;
  EXPECT_TRUE(read_list_text("Corvid Patch\r\n2\r\n1,2,3,4,a\r\n5,6,7,8,\"b,c\"\r\nextra\n", entries, problem));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].name, "b,c");
  EXPECT_EQ(entries[1].time, 8u);

  std::string long_line = "1,2,3,4,\"" + std::string(200, 'a') + "\"," + std::string(400, 'z');
  EXPECT_FALSE(read_list_text("Corvid Patch\n1\n" + long_line + "\n", entries, problem));
  EXPECT_EQ(problem, "entry line 3 holds 511 characters or more; the client reads it as two lines");
  EXPECT_FALSE(read_list_text("Corvid Patch\n2\n1,2,3,4,a\n1,2,3,4,../b\n", entries, problem));
  EXPECT_EQ(problem.rfind("entry line 4: the client refuses its name", 0), 0u) << problem;
  EXPECT_FALSE(read_list_text("Corvid Patch\n3\n1,2,3,4,a\n", entries, problem));
  EXPECT_EQ(problem, "the count is 3 but only 1 entry lines follow");
}

}  // namespace corvid
