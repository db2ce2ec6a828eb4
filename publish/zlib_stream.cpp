#include "publish/zlib_stream.h"

#include <zlib.h>

#include <fstream>
#include <memory>
#include <vector>

#include "publish/release_scan.h"

namespace fs = std::filesystem;

namespace {
constexpr std::size_t chunk_size = 256 * 1024;
// Files are compressed once and fetched by every player, so the smallest stream wins.
constexpr int compression_level = Z_BEST_COMPRESSION;

std::uint32_t crc_update(std::uint32_t crc, const char* bytes, std::size_t count) {
  return static_cast<std::uint32_t>(
      ::crc32(crc, reinterpret_cast<const Bytef*>(bytes), static_cast<uInt>(count)));
}

// Ends a zlib stream on every path out of the function that started it.
class zlib_owner {
 public:
  explicit zlib_owner(int (*end)(z_streamp)) : end_(end) {}
  ~zlib_owner() {
    if (started) end_(&stream);
  }
  z_stream stream{};
  bool started = false;

 private:
  int (*end_)(z_streamp);
};

// Counts and checksums bytes as they pass.
struct byte_tally {
  std::uint64_t size = 0;
  std::uint32_t crc = crc_update(0, nullptr, 0);
  void add(const char* bytes, std::size_t count) {
    size += count;
    crc = crc_update(crc, bytes, count);
  }
};

std::size_t read_chunk(std::ifstream& in, std::vector<char>& buffer) {
  in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  return static_cast<std::size_t>(in.gcount());
}

std::string cannot(const char* what, const fs::path& path) {
  return std::string("cannot ") + what + " " + display_path(path);
}
}  // namespace

bool compress_file(const fs::path& source, const fs::path& target, stream_facts& facts,
                   std::string& error) {
  std::ifstream in(source, std::ios::binary);
  if (!in) {
    error = cannot("read", source);
    return false;
  }
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = cannot("create", target);
    return false;
  }
  zlib_owner z(deflateEnd);
  if (deflateInit(&z.stream, compression_level) != Z_OK) {
    error = "zlib cannot start a stream";
    return false;
  }
  z.started = true;
  std::vector<char> input(chunk_size), output(chunk_size);
  byte_tally read;
  std::uint64_t written = 0;
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    std::size_t got = read_chunk(in, input);
    if (in.bad()) {
      error = cannot("read", source);
      return false;
    }
    flush = in.eof() ? Z_FINISH : Z_NO_FLUSH;
    read.add(input.data(), got);
    z.stream.next_in = reinterpret_cast<Bytef*>(input.data());
    z.stream.avail_in = static_cast<uInt>(got);
    int status;
    do {
      z.stream.next_out = reinterpret_cast<Bytef*>(output.data());
      z.stream.avail_out = static_cast<uInt>(output.size());
      status = deflate(&z.stream, flush);
      std::size_t made = output.size() - z.stream.avail_out;
      out.write(output.data(), static_cast<std::streamsize>(made));
      written += made;
    } while (z.stream.avail_out == 0);
    if (flush == Z_FINISH && status != Z_STREAM_END) {
      error = "zlib could not finish the stream of " + display_path(source);
      return false;
    }
  }
  out.close();
  if (!out) {
    error = cannot("write", target);
    return false;
  }
  facts = {read.size, written, read.crc};
  return true;
}

bool file_crc32(const fs::path& path, stream_facts& facts, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = cannot("read", path);
    return false;
  }
  std::vector<char> input(chunk_size);
  byte_tally read;
  while (in) {
    std::size_t got = read_chunk(in, input);
    read.add(input.data(), got);
  }
  if (in.bad()) {
    error = cannot("read", path);
    return false;
  }
  facts = {read.size, 0, read.crc};
  return true;
}

bool inflate_file_facts(const fs::path& path, stream_facts& facts, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "missing or unreadable";
    return false;
  }
  zlib_owner z(inflateEnd);
  if (inflateInit(&z.stream) != Z_OK) {
    error = "zlib cannot start a stream";
    return false;
  }
  z.started = true;
  std::vector<char> input(chunk_size), output(chunk_size);
  byte_tally inflated;
  std::uint64_t packed = 0;
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    std::size_t got = read_chunk(in, input);
    if (got == 0) {
      error = in.bad() ? "cannot be read" : "the stream ends early";
      return false;
    }
    packed += got;
    z.stream.next_in = reinterpret_cast<Bytef*>(input.data());
    z.stream.avail_in = static_cast<uInt>(got);
    do {
      z.stream.next_out = reinterpret_cast<Bytef*>(output.data());
      z.stream.avail_out = static_cast<uInt>(output.size());
      status = inflate(&z.stream, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
        error = "not a valid zlib stream";
        return false;
      }
      inflated.add(output.data(), output.size() - z.stream.avail_out);
    } while (z.stream.avail_out == 0 && status != Z_STREAM_END);
    if (status == Z_STREAM_END && (z.stream.avail_in != 0 || in.peek() != EOF)) {
      error = "bytes follow the end of the stream";
      return false;
    }
  }
  facts = {inflated.size, packed, inflated.crc};
  return true;
}

std::string compress_text(std::string_view text) {
  uLongf length = compressBound(static_cast<uLong>(text.size()));
  std::string packed(length, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &length,
            reinterpret_cast<const Bytef*>(text.data()), static_cast<uLong>(text.size()),
            compression_level);
  packed.resize(length);
  return packed;
}

bool uncompress_text(std::string_view packed, std::uint32_t size, std::string& text) {
  // One byte of room more than announced, so that a longer text is noticed.
  std::string out(static_cast<std::size_t>(size) + 1, '\0');
  uLongf length = static_cast<uLongf>(out.size());
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                 reinterpret_cast<const Bytef*>(packed.data()),
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
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = cannot("read", path);
    return false;
  }
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    error = cannot("read", path);
    return false;
  }
  return true;
}

bool write_whole_file(const fs::path& path, std::string_view bytes, std::string& error) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    error = cannot("write", path);
    return false;
  }
  return true;
}
