#include "publish/zlib_stream.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "publish/interrupt.h"
#include "publish/platform.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
constexpr std::size_t chunk_size = 256 * 1024;

Bytef* zlib_bytes(char* bytes) { return reinterpret_cast<Bytef*>(bytes); }

// Each thread keeps its buffers and its deflate state from file to file: made afresh
// for every file, their half a megabyte is handed back to the system and faulted in
// again each time, which costs more than a small file's compression.
struct thread_work {
  std::vector<char> input = std::vector<char>(chunk_size);
  std::vector<char> output = std::vector<char>(chunk_size);
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

thread_work& work_of_this_thread() {
  thread_local thread_work work;
  return work;
}

// Reads a file chunk by chunk, with the system's reason when a read fails and a stop
// when the run is interrupted.
class chunk_reader {
 public:
  chunk_reader(const fs::path& path, std::string& error) : path_(path), error_(error) {
    file_ = open_file(path, "rb");
    if (!file_) error_ = cannot("read", path, errno);
  }
  bool opened() const { return file_.valid(); }
  std::FILE* file() const { return file_.get(); }

  // False after a failure; `count` is 0 at the end of the file.
  bool next(std::vector<char>& buffer, std::size_t& count) {
    if (interrupted()) return stopped();
    count = std::fread(buffer.data(), 1, buffer.size(), file_.get());
    return count == buffer.size() || read_well();
  }
  bool read_well() {
    if (std::ferror(file_.get())) error_ = cannot("read", path_, errno);
    return !std::ferror(file_.get());
  }
  bool stopped() {
    error_ = "interrupted";
    return false;
  }

 private:
  const fs::path& path_;
  std::string& error_;
  stdio_file file_;
};

bool write_all(std::FILE* file, const char* bytes, std::size_t count, const fs::path& path, std::string& error) {
  if (count == 0 || std::fwrite(bytes, 1, count, file) == count) return true;
  error = cannot("write", path, errno);
  return false;
}

bool close_written(stdio_file& file, const fs::path& path, std::string& error) {
  // A full disk often shows only when the last buffer goes out.
  if (std::fclose(file.release()) != 0) {
    error = cannot("write", path, errno);
    return false;
  }
  return true;
}
}  // namespace

bool compress_file(const fs::path& source, const fs::path& target, int level, stream_facts& facts, std::string& error,
                   byte_counter* counter) {
  chunk_reader in(source, error);
  if (!in.opened()) return false;
  stdio_file out;
  if (!target.empty()) {
    out = open_file(target, "wb");
    if (!out) {
      error = cannot("create", target, errno);
      return false;
    }
  }
  thread_work& work = work_of_this_thread();
  z_stream* z = work.deflate_at(level);
  if (!z) {
    error = "zlib cannot start a stream";
    return false;
  }
  std::vector<char>& input = work.input;
  std::vector<char>& output = work.output;
  checksum read;
  std::uint64_t written = 0;
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    std::size_t got = 0;
    if (!in.next(input, got)) return false;
    flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    read.add(input.data(), got);
    if (counter) *counter += got;
    z->next_in = zlib_bytes(input.data());
    z->avail_in = static_cast<uInt>(got);
    int status;
    do {
      z->next_out = zlib_bytes(output.data());
      z->avail_out = static_cast<uInt>(output.size());
      status = deflate(z, flush);
      std::size_t made = output.size() - z->avail_out;
      if (out && !write_all(out.get(), output.data(), made, target, error)) return false;
      written += made;
    } while (z->avail_out == 0);
    if (flush == Z_FINISH && status != Z_STREAM_END) {
      error = "zlib could not finish the stream of " + display_path(source);
      return false;
    }
  }
  if (out && !close_written(out, target, error)) return false;
  facts = {read.size(), written, read.crc32()};
  return true;
}

bool file_crc32(const fs::path& path, stream_facts& facts, std::string& error, byte_counter* counter) {
  chunk_reader in(path, error);
  if (!in.opened()) return false;
  std::vector<char>& input = work_of_this_thread().input;
  checksum read;
  std::span<unsigned char> buffer(reinterpret_cast<unsigned char*>(input.data()), input.size());
  bool whole = sum_file(in.file(), buffer, read, [&](std::size_t got) {
    if (counter) *counter += got;
    return !interrupted();
  });
  if (!whole) return interrupted() ? in.stopped() : in.read_well();
  facts = {read.size(), 0, read.crc32()};
  return true;
}

std::string stream_check::fault() const {
  if (outcome_ == inflate_outcome::out_of_memory) return "zlib cannot start a stream";
  if (outcome_ == inflate_outcome::bad_stream) return "not a valid zlib stream";
  if (inflater_.bytes_after_end()) return "bytes follow the end of the stream";
  return {};
}

bool inflate_file_facts(const fs::path& path, stream_facts& facts, std::string& error) {
  chunk_reader in(path, error);
  if (!in.opened()) return false;
  stream_check check;
  std::vector<char> input(chunk_size);
  std::size_t got = 0;
  do {
    if (!in.next(input, got)) return false;
    check.feed(input.data(), got);
  } while (got != 0 && !check.broken());
  bool ended = check.finish();
  error = check.fault();
  if (error.empty() && !ended) error = "the stream ends early";
  facts = check.facts();
  return error.empty();
}

std::string crc_text(std::uint32_t crc32) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(crc32));
  return text;
}

std::string stream_mismatch(const stream_facts& served, std::uint64_t packed_size, std::uint64_t size,
                            std::uint32_t crc32) {
  if (served.packed_size != packed_size)
    return "is " + std::to_string(served.packed_size) + " bytes; the list says " + std::to_string(packed_size);
  if (served.size != size)
    return "inflates to " + std::to_string(served.size) + " bytes; the list says " + std::to_string(size);
  if (served.crc32 != crc32)
    return "inflates to CRC-32 " + crc_text(served.crc32) + "; the list says " + crc_text(crc32);
  return {};
}

std::string compress_text(std::string_view text, int level) {
  uLongf length = compressBound(static_cast<uLong>(text.size()));
  std::string packed(length, '\0');
  compress2(zlib_bytes(packed.data()), &length, reinterpret_cast<const Bytef*>(text.data()),
            static_cast<uLong>(text.size()), level);
  packed.resize(length);
  return packed;
}

bool uncompress_text(std::string_view packed, std::uint32_t size, std::string& text) {
  std::string out(size, '\0');
  if (!inflate_whole(reinterpret_cast<const unsigned char*>(packed.data()), packed.size(),
                     reinterpret_cast<unsigned char*>(out.data()), size))
    return false;
  text = std::move(out);
  return true;
}

bool read_whole_file(const fs::path& path, std::string& bytes, std::string& error) {
  chunk_reader in(path, error);
  if (!in.opened()) return false;
  std::vector<char> input(64 * 1024);
  std::size_t got = 0;
  bytes.clear();
  do {
    if (!in.next(input, got)) return false;
    bytes.append(input.data(), got);
  } while (got != 0);
  return true;
}

bool write_whole_file(const fs::path& path, std::string_view bytes, std::string& error) {
  stdio_file out = open_file(path, "wb");
  if (!out) {
    error = cannot("create", path, errno);
    return false;
  }
  return write_all(out.get(), bytes.data(), bytes.size(), path, error) && close_written(out, path, error);
}

}  // namespace corvid::publish
