#pragma once
// Files as the client fetches them: one zlib stream each, made and checked a bounded
// piece at a time, so that a release of large files needs little memory. Every file is
// read through the client's own summing of files.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/file_entry.h"
#include "patch/checksum.h"
#include "patch/inflater.h"
#include "publish/release_signing.h"

namespace corvid::publish {

struct stream_facts {
  std::uint64_t size = 0;
  std::uint64_t packed_size = 0;
  std::uint32_t crc32 = 0;
};

// Adds the bytes read from release files as they go, for the progress display.
using byte_counter = std::atomic<std::uint64_t>;

// Compresses `source` at zlib `level` into a new file `target`, or only measures the
// stream when `target` is empty: the size and CRC-32 of what was read and the length of
// the stream. Reading this and the next stop, failing, once the run is interrupted.
bool compress_file(const std::filesystem::path& source, const std::filesystem::path& target, int level,
                   stream_facts& facts, std::string& error, byte_counter* counter = nullptr);

// Frees what this thread kept for reading and compressing files; a thread that used
// the functions here calls it before it ends.
void end_thread_work();

// Size and CRC-32 of a file's bytes.
bool file_crc32(const std::filesystem::path& path, stream_facts& facts, std::string& error,
                byte_counter* counter = nullptr);

// A served stream inflated as it arrives, as the client inflates it, keeping only the
// size and CRC-32 of what comes out, and with `digest` its SHA-256 too.
class stream_check final : private byte_sink {
 public:
  explicit stream_check(release_digest* digest = nullptr) : digest_(digest), inflater_(buffer_, *this) {}
  void feed(const char* bytes, std::size_t count) {
    inflater_.feed(reinterpret_cast<const unsigned char*>(bytes), count);
  }
  // Known already not to be one whole stream, so that the rest need not be fed.
  bool broken() const { return inflater_.broken(); }
  // After the last bytes: passes on the rest of the output. False when the stream did not
  // reach its end.
  bool finish() {
    outcome_ = inflater_.finish();
    return outcome_ != inflate_outcome::ends_early;
  }
  // After finish: why the bytes are not one zlib stream followed by nothing, its end
  // aside; empty when they are.
  std::string fault() const;
  stream_facts facts() const { return {sum_.size(), inflater_.fed(), sum_.crc32()}; }

 private:
  bool take(const unsigned char* bytes, std::size_t length) override {
    sum_.add(bytes, length);
    return !digest_ || digest_->add(bytes, length);
  }

  release_digest* digest_;
  std::array<unsigned char, 64 * 1024> buffer_;
  checksum sum_;
  inflater inflater_;
  inflate_outcome outcome_ = inflate_outcome::ends_early;
};

// Why the served stream at `path` is not the one `entry` lists, as the client would find
// it, or, given `signed_digest`, not the bytes a signed document gives; empty when it is.
std::string stream_file_problem(const std::filesystem::path& path, const file_entry& entry,
                                const sha256_digest* signed_digest = nullptr);

// Why bytes inflated into `digest` are not those a signed document gives; empty when they are.
std::string signed_digest_problem(release_digest& digest, const sha256_digest& signed_digest);

// Why served bytes are not the listed stream: their length, or the size or CRC-32 they
// inflate to. Empty when they are.
std::string stream_mismatch(const stream_facts& served, const file_entry& entry);

// A CRC-32 as lists write it: lower-case hexadecimal.
std::string crc_text(std::uint32_t crc32);

std::string compress_text(std::string_view text, int level);

// Whole-file helpers for the small list files.
bool read_whole_file(const std::filesystem::path& path, std::string& bytes, std::string& error);
bool write_whole_file(const std::filesystem::path& path, std::string_view bytes, std::string& error);

}  // namespace corvid::publish
