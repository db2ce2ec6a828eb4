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

std::uint32_t crc_update(std::uint32_t crc, const char* bytes, std::size_t count) {
  return static_cast<std::uint32_t>(::crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(count)));
}

Bytef* zlib_bytes(char* bytes) { return reinterpret_cast<Bytef*>(bytes); }

// Counts and checksums bytes as they pass.
struct byte_tally {
  std::uint64_t size = 0;
  std::uint32_t crc = crc_update(0, nullptr, 0);
  void add(const char* bytes, std::size_t count) {
    size += count;
    crc = crc_update(crc, bytes, count);
  }
};

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
  bool opened() const { return file_ != nullptr; }

  // False after a failure; `count` is 0 at the end of the file.
  bool next(std::vector<char>& buffer, std::size_t& count) {
    if (interrupted()) {
      error_ = "interrupted";
      return false;
    }
    count = std::fread(buffer.data(), 1, buffer.size(), file_.get());
    if (count < buffer.size() && std::ferror(file_.get())) {
      error_ = cannot("read", path_, errno);
      return false;
    }
    return true;
  }

 private:
  const fs::path& path_;
  std::string& error_;
  owned_file file_;
};

bool write_all(std::FILE* file, const char* bytes, std::size_t count, const fs::path& path, std::string& error) {
  if (count == 0 || std::fwrite(bytes, 1, count, file) == count) return true;
  error = cannot("write", path, errno);
  return false;
}

bool close_written(owned_file& file, const fs::path& path, std::string& error) {
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
  owned_file out;
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
  byte_tally read;
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
  facts = {read.size, written, read.crc};
  return true;
}

bool file_crc32(const fs::path& path, stream_facts& facts, std::string& error, byte_counter* counter) {
  chunk_reader in(path, error);
  if (!in.opened()) return false;
  std::vector<char>& input = work_of_this_thread().input;
  byte_tally read;
  std::size_t got = 0;
  do {
    if (!in.next(input, got)) return false;
    read.add(input.data(), got);
    if (counter) *counter += got;
  } while (got != 0);
  facts = {read.size, 0, read.crc};
  return true;
}

stream_inflater::stream_inflater() { started_ = inflateInit(&stream_) == Z_OK; }

stream_inflater::~stream_inflater() {
  if (started_) inflateEnd(&stream_);
}

bool stream_inflater::add(const char* bytes, std::size_t count, std::string& error) {
  if (!started_) {
    error = "zlib cannot start a stream";
    return false;
  }
  if (count == 0) return true;
  if (finished_) {
    error = "bytes follow the end of the stream";
    return false;
  }
  facts_.packed_size += count;
  char output[64 * 1024];
  stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes));
  stream_.avail_in = static_cast<uInt>(count);
  byte_tally tally{facts_.size, facts_.crc32};
  do {
    stream_.next_out = zlib_bytes(output);
    stream_.avail_out = sizeof output;
    int status = inflate(&stream_, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
      error = "not a valid zlib stream";
      return false;
    }
    tally.add(output, sizeof output - stream_.avail_out);
    if (status == Z_STREAM_END) {
      finished_ = true;
      break;
    }
    if (status == Z_BUF_ERROR && stream_.avail_out != 0) break;  // wants more input
  } while (stream_.avail_out == 0 || stream_.avail_in != 0);
  facts_.size = tally.size;
  facts_.crc32 = tally.crc;
  if (finished_ && stream_.avail_in != 0) {
    error = "bytes follow the end of the stream";
    return false;
  }
  return true;
}

bool inflate_file_facts(const fs::path& path, stream_facts& facts, std::string& error) {
  chunk_reader in(path, error);
  if (!in.opened()) return false;
  stream_inflater inflater;
  std::vector<char> input(chunk_size);
  std::size_t got = 0;
  do {
    if (!in.next(input, got) || !inflater.add(input.data(), got, error)) return false;
  } while (got != 0);
  if (!inflater.finished()) {
    error = "the stream ends early";
    return false;
  }
  facts = inflater.facts();
  return true;
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
  // One byte of room more than announced, so that a longer text is noticed.
  std::string out(static_cast<std::size_t>(size) + 1, '\0');
  uLongf length = static_cast<uLongf>(out.size());
  if (uncompress(zlib_bytes(out.data()), &length, reinterpret_cast<const Bytef*>(packed.data()),
                 static_cast<uLong>(packed.size())) != Z_OK ||
      length != size)
    return false;
  out.resize(length);
  text = std::move(out);
  return true;
}

std::uint32_t text_crc32(std::string_view text) {
  return crc_update(crc_update(0, nullptr, 0), text.data(), text.size());
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
  owned_file out = open_file(path, "wb");
  if (!out) {
    error = cannot("create", path, errno);
    return false;
  }
  return write_all(out.get(), bytes.data(), bytes.size(), path, error) && close_written(out, path, error);
}

}  // namespace corvid::publish
