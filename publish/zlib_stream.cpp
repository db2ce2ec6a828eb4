#include "publish/zlib_stream.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "publish/platform.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
constexpr std::size_t chunk_size = 256 * 1024;

// Each thread keeps its buffers and its deflate state from file to file: made afresh
// for every file, their half a megabyte is handed back to the system and faulted in
// again each time, which costs more than a small file's compression.
struct thread_work {
  std::vector<unsigned char> input = std::vector<unsigned char>(chunk_size);
  std::vector<unsigned char> output = std::vector<unsigned char>(chunk_size);
  z_stream deflater{};
  int level = -1;  // of `deflater`; -1 before it is started
  ~thread_work() {
    if (level >= 0) deflateEnd(&deflater);
  }

  // A deflate stream at `level` that starts afresh; null when zlib cannot give one.
  z_stream* deflate_at(int wanted) {
    if (level == wanted) return deflateReset(&deflater) == Z_OK ? &deflater : nullptr;
    if (level >= 0) deflateEnd(&deflater);
    deflater = z_stream{};
    level = deflateInit(&deflater, wanted) == Z_OK ? wanted : -1;
    return level >= 0 ? &deflater : nullptr;
  }
};

// A pointer, freed by end_thread_work, not an object: the Windows build's thread-local
// storage (mingw-w64's emulated TLS) frees a thread's block before it runs the
// destructors of the objects in it, so a destructor there wrote into freed memory that
// another thread may already hold, and a worker still compressing crashed in zlib.
thread_local thread_work* this_thread_work = nullptr;

thread_work& work_of_this_thread() {
  if (this_thread_work == nullptr) this_thread_work = new thread_work;
  return *this_thread_work;
}

stdio_file opened(const fs::path& path, const char* mode, const char* what, std::string& error) {
  stdio_file file = open_file(path, mode);
  if (!file) error = cannot(what, path, errno);
  return file;
}

// The rest of `file` a chunk at a time into `each_piece`, which may end it early; false,
// with why, when a read fails or the run is interrupted.
template <typename Each>
bool read_pieces(std::FILE* file, const fs::path& path, checksum& sum, std::string& error, Each&& each_piece) {
  bool read = !interrupted() && sum_file(file, work_of_this_thread().input, sum, [&](auto bytes, std::size_t count) {
    return each_piece(bytes, count) && !interrupted();
  });
  if (read && !interrupted()) return true;
  if (error.empty()) error = interrupted() ? "interrupted" : cannot("read", path, errno);
  return false;
}

bool closed_after_writing(stdio_file& file, const fs::path& path, std::string& error) {
  // A full disk often shows only when the last buffer goes out.
  if (std::fclose(file.release()) == 0) return true;
  error = cannot("write", path, errno);
  return false;
}
}  // namespace

void end_thread_work() {
  delete this_thread_work;
  this_thread_work = nullptr;
}

bool compress_file(const fs::path& source, const fs::path& target, int level, stream_facts& facts, std::string& error,
                   byte_counter* counter) {
  stdio_file in = opened(source, "rb", "read", error), out;
  if (!in || (!target.empty() && !(out = opened(target, "wb", "create", error)))) return false;
  thread_work& work = work_of_this_thread();
  z_stream* z = work.deflate_at(level);
  if (!z) {
    error = "zlib cannot start a stream";
    return false;
  }
  std::uint64_t written = 0;
  auto deflate_piece = [&](const unsigned char* bytes, std::size_t count, int flush) {
    z->next_in = bytes;
    z->avail_in = static_cast<uInt>(count);
    int status;
    do {
      z->next_out = work.output.data();
      z->avail_out = static_cast<uInt>(work.output.size());
      status = deflate(z, flush);
      std::size_t made = work.output.size() - z->avail_out;
      if (out && made > 0 && std::fwrite(work.output.data(), 1, made, out.get()) != made) {
        error = cannot("write", target, errno);
        return false;
      }
      written += made;
    } while (z->avail_out == 0);
    if (flush == Z_FINISH && status != Z_STREAM_END)
      error = "zlib could not finish the stream of " + display_path(source);
    return error.empty();
  };
  checksum read;
  bool whole = read_pieces(in.get(), source, read, error, [&](const unsigned char* bytes, std::size_t count) {
    if (counter) *counter += count;
    return deflate_piece(bytes, count, Z_NO_FLUSH);
  });
  if (!whole || !error.empty() || !deflate_piece(nullptr, 0, Z_FINISH) ||
      (out && !closed_after_writing(out, target, error)))
    return false;
  facts = {read.size(), written, read.crc32()};
  return true;
}

bool file_crc32(const fs::path& path, stream_facts& facts, std::string& error, byte_counter* counter) {
  stdio_file in = opened(path, "rb", "read", error);
  checksum read;
  if (!in || !read_pieces(in.get(), path, read, error, [counter](const unsigned char*, std::size_t count) {
        if (counter) *counter += count;
        return true;
      }))
    return false;
  facts = {read.size(), 0, read.crc32()};
  return true;
}

std::string stream_check::fault() const {
  if (outcome_ == inflate_outcome::out_of_memory) return "zlib cannot start a stream";
  if (outcome_ == inflate_outcome::bad_stream) return "not a valid zlib stream";
  if (inflater_.bytes_after_end()) return "bytes follow the end of the stream";
  return {};
}

std::string stream_file_problem(const fs::path& path, const file_entry& entry, const sha256_digest* signed_digest) {
  std::error_code code;
  std::uintmax_t length = fs::file_size(path, code);
  if (code) return "listed but missing";
  if (length != entry.packed_size) return stream_mismatch({0, length, 0}, entry);
  std::string error;
  release_digest digest;
  stream_check check(signed_digest ? &digest : nullptr);
  checksum ignored;
  stdio_file in = opened(path, "rb", "read", error);
  if (!in || !read_pieces(in.get(), path, ignored, error, [&check](const unsigned char* bytes, std::size_t count) {
        check.feed(reinterpret_cast<const char*>(bytes), count);
        return !check.broken();
      }))
    return error;
  bool ended = check.finish();
  error = check.fault();
  if (error.empty() && !ended) error = "the stream ends early";
  if (error.empty()) error = stream_mismatch(check.facts(), entry);
  return error.empty() && signed_digest ? signed_digest_problem(digest, *signed_digest) : error;
}

std::string signed_digest_problem(release_digest& digest, const sha256_digest& signed_digest) {
  sha256_digest found;
  if (!digest.finish(found)) return "its SHA-256 cannot be computed";
  if (found == signed_digest) return {};
  return "inflates to bytes of SHA-256 " + std::string(hex_text(found).view()) + "; the signed document gives " +
         std::string(hex_text(signed_digest).view());
}

std::string stream_mismatch(const stream_facts& served, const file_entry& entry) {
  if (served.packed_size != entry.packed_size)
    return "is " + std::to_string(served.packed_size) + " bytes; the list says " + std::to_string(entry.packed_size);
  if (served.size != entry.size)
    return "inflates to " + std::to_string(served.size) + " bytes; the list says " + std::to_string(entry.size);
  if (served.crc32 != entry.crc32)
    return "inflates to CRC-32 " + crc_text(served.crc32) + "; the list says " + crc_text(entry.crc32);
  return {};
}

std::string crc_text(std::uint32_t crc32) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(crc32));
  return text;
}

std::string compress_text(std::string_view text, int level) {
  uLongf length = compressBound(static_cast<uLong>(text.size()));
  std::string packed(length, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &length, reinterpret_cast<const Bytef*>(text.data()),
            static_cast<uLong>(text.size()), level);
  packed.resize(length);
  return packed;
}

bool read_whole_file(const fs::path& path, std::string& bytes, std::string& error) {
  stdio_file in = opened(path, "rb", "read", error);
  checksum ignored;
  bytes.clear();
  return in && read_pieces(in.get(), path, ignored, error, [&bytes](const unsigned char* piece, std::size_t count) {
           bytes.append(reinterpret_cast<const char*>(piece), count);
           return true;
         });
}

bool write_whole_file(const fs::path& path, std::string_view bytes, std::string& error) {
  stdio_file out = opened(path, "wb", "create", error);
  if (!out) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size()) {
    error = cannot("write", path, errno);
    return false;
  }
  return closed_after_writing(out, path, error);
}

}  // namespace corvid::publish
