#include "patch/inflater.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvid {

namespace {

std::string packed(const std::string& text) {
  uLongf length = compressBound(static_cast<uLong>(text.size()));
  std::string out(length, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(text.data()),
           static_cast<uLong>(text.size()));
  out.resize(length);
  return out;
}

// Keeps what it is given, and refuses once it holds `room` bytes.
struct kept : byte_sink {
  std::string bytes;
  std::size_t room = SIZE_MAX;
  bool take(const unsigned char* data, std::size_t length) override {
    if (bytes.size() + length > room) return false;
    bytes.append(reinterpret_cast<const char*>(data), length);
    return true;
  }
};

struct inflated {
  inflate_outcome outcome;
  std::string bytes;
  bool after_end;
};

// `stream` fed in pieces of `piece` bytes through a buffer of `buffer_size`.
inflated inflate_in_pieces(const std::string& stream, std::size_t piece, std::size_t buffer_size,
                           std::uint64_t limit = inflater::no_limit, std::size_t room = SIZE_MAX) {
  std::vector<unsigned char> buffer(buffer_size);
  kept sink;
  sink.room = room;
  inflater core(buffer, sink, limit);
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    std::string_view part = std::string_view(stream).substr(at, piece);
    core.feed(reinterpret_cast<const unsigned char*>(part.data()), part.size());
  }
  inflate_outcome outcome = core.finish();
  return {outcome, sink.bytes, core.bytes_after_end()};
}

std::string text_of_size(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) text += std::to_string(i * 7919) + ",";
  return text.substr(0, size);
}

TEST(inflater, any_pieces_through_any_buffer_give_the_whole_text_and_nothing_after_it) {
  std::string text = text_of_size(100000);
  std::string stream = packed(text);
  for (std::size_t piece : {std::size_t{1}, std::size_t{1024}, stream.size()}) {
    inflated out = inflate_in_pieces(stream, piece, 4096);
    EXPECT_EQ(out.outcome, inflate_outcome::complete) << piece;
    EXPECT_EQ(out.bytes, text) << piece;
  }
  // zlib's uncompress ignores what follows the stream; so does the core, and says so.
  inflated trailing = inflate_in_pieces(stream + "junk", 1024, 4096);
  EXPECT_EQ(trailing.outcome, inflate_outcome::complete);
  EXPECT_TRUE(trailing.after_end);
  EXPECT_FALSE(inflate_in_pieces(stream, 1024, 4096).after_end);
}

TEST(inflater, a_stream_past_its_limit_is_bad_before_a_byte_past_the_limit_is_passed_on) {
  std::string text = text_of_size(5000);
  std::string stream = packed(text);
  EXPECT_EQ(inflate_in_pieces(stream, 100, 64, 5000).outcome, inflate_outcome::complete);
  inflated longer = inflate_in_pieces(stream, 100, 64, 4999);
  EXPECT_EQ(longer.outcome, inflate_outcome::bad_stream);
  EXPECT_LE(longer.bytes.size(), 4999u);
  EXPECT_EQ(longer.bytes, text.substr(0, longer.bytes.size()));
}

TEST(inflater, a_cut_or_broken_stream_and_a_refusing_sink_are_told_apart) {
  std::string stream = packed(text_of_size(300000));
  EXPECT_EQ(inflate_in_pieces(stream.substr(0, stream.size() - 1), 1024, 4096).outcome, inflate_outcome::ends_early);
  EXPECT_EQ(inflate_in_pieces("not a zlib stream at all", 1024, 4096).outcome, inflate_outcome::bad_stream);
  EXPECT_EQ(inflate_in_pieces(stream, 1024, 4096, inflater::no_limit, 8192).outcome, inflate_outcome::write_failed);
  // A sink that gave up does not hide a stream that breaks after it.
  std::string broken = stream;
  broken[broken.size() / 2] = static_cast<char>(broken[broken.size() / 2] ^ 0x55);
  EXPECT_EQ(inflate_in_pieces(broken, 1024, 4096, inflater::no_limit, 8192).outcome, inflate_outcome::bad_stream);

  std::vector<unsigned char> out(5);
  std::string five = packed("12345");
  auto bytes = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
  EXPECT_TRUE(inflate_whole(bytes(five), five.size(), out.data(), 5));
  EXPECT_FALSE(inflate_whole(bytes(five), five.size(), out.data(), 4));
}

}  // namespace

}  // namespace corvid
