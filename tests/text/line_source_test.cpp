#include "text/line_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace corvid {

namespace {

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using stream = std::unique_ptr<std::FILE, file_closer>;

// The bytes as a binary stream, read back from its start.
stream stream_of(const std::string& bytes) {
  std::FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return stream(file);
}

std::vector<std::string> lines_of(line_source& source, std::size_t capacity, long_line rule) {
  std::vector<std::string> out;
  std::vector<char> buffer(capacity);
  for (int guard = 0; guard < 100 && source.next(buffer.data(), capacity, rule); ++guard) {
    out.emplace_back(buffer.data());
  }
  return out;
}

using lines = std::vector<std::string>;

TEST(line_source, crlf_and_lf_read_alike_and_a_carriage_return_inside_a_line_stays) {
  line_source lf("Corvid Patch\n2\n1,2,3,4,a.dat\n5,6,7,8,\"b,c.dat\"");
  line_source crlf("Corvid Patch\r\n2\r\n1,2,3,4,a.dat\r\n5,6,7,8,\"b,c.dat\"\r\n");
  lines expected{"Corvid Patch", "2", "1,2,3,4,a.dat", "5,6,7,8,\"b,c.dat\""};
  EXPECT_EQ(lines_of(lf, 512, long_line::split), expected);
  EXPECT_EQ(lines_of(crlf, 512, long_line::split), expected);

  line_source inside("thr\ree\r\n\nlast");
  EXPECT_EQ(lines_of(inside, 512, long_line::split), (lines{"thr\ree", "", "last"}));
  line_source as_read("one\r\ntwo", line_ends::as_read);
  EXPECT_EQ(lines_of(as_read, 512, long_line::split), (lines{"one\r", "two"}));
}

TEST(line_source, split_is_fgets_a_full_line_is_followed_by_an_empty_one) {
  std::string text = std::string(511, 'x') + "\n" + std::string(600, 'y') + "\r\n" + std::string(510, 'z') + "\r\nlast";
  line_source source(text);
  EXPECT_EQ(lines_of(source, 512, long_line::split), (lines{std::string(511, 'x'), "", std::string(511, 'y'),
                                                            std::string(89, 'y'), std::string(510, 'z'), "last"}))
      << "a carriage return takes no room";
}

TEST(line_source, split_keeping_end_lets_a_full_line_keep_its_end) {
  std::string full(1023, 'f');
  auto file = stream_of(full + "\r\n" + std::string(1500, 'o') + "\nafter\n");
  line_source source(file.get());
  EXPECT_EQ(lines_of(source, 1024, long_line::split_keeping_end),
            (lines{full, std::string(1023, 'o'), std::string(477, 'o'), "after"}));
}

TEST(line_source, cut_skips_the_rest_of_a_long_line) {
  std::string text = std::string(1500, 'c') + "\nnext\n" + std::string(1023, 'd') + "\nlast";
  line_source source(text);
  EXPECT_EQ(lines_of(source, 1024, long_line::cut),
            (lines{std::string(1023, 'c'), "next", std::string(1023, 'd'), "last"}));
}

TEST(line_source, the_end_is_seen_with_the_last_line_whatever_its_length) {
  for (const std::string& last : {std::string("short"), std::string(1023, 'l')}) {
    auto file = stream_of("first\n" + last);
    line_source source(file.get());
    fixed_text<1024> line;
    EXPECT_TRUE(source.next(line, long_line::split_keeping_end));
    EXPECT_FALSE(source.at_end());
    EXPECT_TRUE(source.next(line, long_line::split_keeping_end));
    EXPECT_EQ(line.view(), last);
    EXPECT_TRUE(source.at_end()) << last.size();
  }
  // After a final line feed the end is met by one more, empty, read.
  line_source ended("only\n");
  fixed_text<1024> line;
  ended.next(line, long_line::split_keeping_end);
  EXPECT_FALSE(ended.at_end());
  EXPECT_FALSE(ended.next(line, long_line::split_keeping_end));
  EXPECT_TRUE(line.empty());
  EXPECT_TRUE(ended.at_end());
}

TEST(line_source, a_stream_reads_like_memory_and_a_ctrl_z_ends_both_but_not_an_inflated_text) {
  std::string text = "Corvid Patch\r\n" + std::string(1030, 'q') + "\r\n\r\n;x\rmid\nend";
  auto file = stream_of(text);
  line_source from_file(file.get());
  line_source from_memory(text);
  lines expected = lines_of(from_memory, 1024, long_line::split);
  EXPECT_EQ(lines_of(from_file, 1024, long_line::split), expected);
  EXPECT_EQ(expected.size(), 6u);

  auto marked = stream_of("Corvid Patch\n\x1a\nunlink,,b.tmp\n");
  line_source text_mode(marked.get());
  EXPECT_EQ(lines_of(text_mode, 1024, long_line::split), (lines{"Corvid Patch"}));
  line_source marked_memory("Corvid Patch\n\x1a\nunlink,,b.tmp\n");
  EXPECT_EQ(lines_of(marked_memory, 1024, long_line::split), (lines{"Corvid Patch"}));
  EXPECT_EQ(marked_memory.line_number(), 1u);
  // An inflated manifest was never a file: the mark is a byte of its line there.
  line_source inflated("a\r\n\x1a\r\nb", line_ends::inflated_text);
  EXPECT_EQ(lines_of(inflated, 1024, long_line::split), (lines{"a", "\x1a", "b"}));
  EXPECT_EQ(inflated.line_number(), 3u);
  auto binary = stream_of("a\x1a\nb");
  line_source as_read(binary.get(), line_ends::as_read);
  EXPECT_EQ(lines_of(as_read, 1024, long_line::split), (lines{"a\x1a", "b"}));
}

TEST(line_source, a_zero_byte_ends_the_text_but_not_the_line) {
  std::string text("host\0junk\nnext", 14);
  line_source source(text);
  EXPECT_EQ(lines_of(source, 1024, long_line::cut), (lines{"host", "next"}));
}

}  // namespace

}  // namespace corvid
