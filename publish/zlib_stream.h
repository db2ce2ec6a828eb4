#pragma once
// Files as the client fetches them: one zlib stream each (header, deflate data,
// Adler-32 trailer), the form that zlib's uncompress inflates in one call. Files are
// streamed in bounded chunks, so a release of large files needs little memory.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

struct stream_facts {
  std::uint64_t size = 0;
  std::uint64_t packed_size = 0;
  std::uint32_t crc32 = 0;
};

// Compresses `source` into a new file `target`; fills the size and CRC-32 of what was
// read and the length of what was written.
bool compress_file(const std::filesystem::path& source, const std::filesystem::path& target,
                   stream_facts& facts, std::string& error);

// Size and CRC-32 of a file's bytes.
bool file_crc32(const std::filesystem::path& path, stream_facts& facts, std::string& error);

// Inflates a served stream and reports its packed length and the size and CRC-32 of
// what came out; false when it is not one whole zlib stream followed by nothing.
bool inflate_file_facts(const std::filesystem::path& path, stream_facts& facts, std::string& error);

std::string compress_text(std::string_view text);
// False unless `packed` inflates to exactly `size` bytes.
bool uncompress_text(std::string_view packed, std::uint32_t size, std::string& text);

std::uint32_t text_crc32(std::string_view text);

// Whole-file helpers for the small list files.
bool read_whole_file(const std::filesystem::path& path, std::string& bytes, std::string& error);
bool write_whole_file(const std::filesystem::path& path, std::string_view bytes, std::string& error);
