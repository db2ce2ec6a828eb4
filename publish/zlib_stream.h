#pragma once
// Files as the client fetches them: one zlib stream each (header, deflate data,
// Adler-32 trailer), the form that zlib's uncompress inflates in one call. Files are
// streamed in bounded chunks, so a release of large files needs little memory.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <zlib.h>

namespace corvid::publish {

struct stream_facts {
  std::uint64_t size = 0;
  std::uint64_t packed_size = 0;
  std::uint32_t crc32 = 0;
};

// Adds the bytes read from release files as they go, for the progress display.
using byte_counter = std::atomic<std::uint64_t>;

// Compresses `source` at zlib `level` into a new file `target`, or only measures the
// stream when `target` is empty. Fills the size and CRC-32 of what was read and the
// length of the stream. Stops early, failing, when the run is interrupted.
bool compress_file(const std::filesystem::path& source, const std::filesystem::path& target, int level,
                   stream_facts& facts, std::string& error, byte_counter* counter = nullptr);

// Size and CRC-32 of a file's bytes.
bool file_crc32(const std::filesystem::path& path, stream_facts& facts, std::string& error,
                byte_counter* counter = nullptr);

// Inflates one zlib stream fed in pieces, keeping only the size and CRC-32 of what
// comes out, so that a stream of any size needs no more memory than a chunk.
class stream_inflater {
 public:
  stream_inflater();
  ~stream_inflater();
  stream_inflater(const stream_inflater&) = delete;
  stream_inflater& operator=(const stream_inflater&) = delete;

  // False with `error` once the bytes are not a zlib stream or bytes follow its end.
  bool add(const char* bytes, std::size_t count, std::string& error);
  // True once the stream has ended.
  bool finished() const { return finished_; }
  stream_facts facts() const { return facts_; }

 private:
  z_stream stream_{};
  bool started_ = false;
  bool finished_ = false;
  stream_facts facts_;
};

// What a served stream inflates to; false when it is not one whole zlib stream
// followed by nothing.
bool inflate_file_facts(const std::filesystem::path& path, stream_facts& facts, std::string& error);

// A CRC-32 as lists write it: lower-case hexadecimal.
std::string crc_text(std::uint32_t crc32);

// Why served bytes are not the listed stream: their length, or the size or CRC-32 they
// inflate to. Empty when they are.
std::string stream_mismatch(const stream_facts& served, std::uint64_t packed_size, std::uint64_t size,
                            std::uint32_t crc32);

std::string compress_text(std::string_view text, int level);
// False unless `packed` inflates to exactly `size` bytes.
bool uncompress_text(std::string_view packed, std::uint32_t size, std::string& text);

std::uint32_t text_crc32(std::string_view text);

// Whole-file helpers for the small list files.
bool read_whole_file(const std::filesystem::path& path, std::string& bytes, std::string& error);
bool write_whole_file(const std::filesystem::path& path, std::string_view bytes, std::string& error);

}  // namespace corvid::publish
