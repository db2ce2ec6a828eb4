// The native yardsticks of the benchmark, run on Linux against the same files as the
// client. Paths come one a line on standard input.
//   reference crc      CRC-32 of each whole file, as the complete check reads it
//   reference inflate  inflate each "SIZE PACKED OUTPUT" line's stream into OUTPUT
// Both print one summary line, so that the work cannot be optimised away unseen.

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The read size of `cat` and of most native tools on this system.
constexpr std::size_t read_chunk = 128 * 1024;

int crc_files() {
  std::vector<unsigned char> chunk(read_chunk);
  std::string path;
  unsigned long files = 0, combined = 0;
  unsigned long long bytes = 0;
  while (std::getline(std::cin, path)) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      std::perror(path.c_str());
      return 1;
    }
    uLong crc = crc32(0L, Z_NULL, 0);
    std::size_t got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
      crc = crc32(crc, chunk.data(), static_cast<uInt>(got));
      bytes += got;
    }
    std::fclose(file);
    combined ^= crc;
    ++files;
  }
  std::printf("crc: %lu files, %llu bytes, xor %08lx\n", files, bytes, combined);
  return 0;
}

bool read_whole(const std::string& path, std::vector<unsigned char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fseek(file, 0, SEEK_END);
  long length = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  bytes.resize(static_cast<std::size_t>(length));
  bool ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  std::fclose(file);
  return ok;
}

// One line per stream: "SIZE PACKED_PATH OUTPUT_PATH". Like the client, the whole
// stream and the whole output are held at once and inflated in one call.
int inflate_files() {
  std::string line;
  unsigned long files = 0;
  unsigned long long bytes = 0;
  std::vector<unsigned char> packed;
  while (std::getline(std::cin, line)) {
    std::istringstream fields(line);
    unsigned long size = 0;
    std::string packed_path, output_path;
    fields >> size >> packed_path >> output_path;
    if (!read_whole(packed_path, packed)) {
      std::perror(packed_path.c_str());
      return 1;
    }
    std::unique_ptr<unsigned char[]> output(new unsigned char[size + 1]);
    uLongf length = size;
    if (uncompress(output.get(), &length, packed.data(), packed.size()) != Z_OK || length != size) {
      std::fprintf(stderr, "%s: does not inflate to %lu bytes\n", packed_path.c_str(), size);
      return 1;
    }
    std::FILE* out = std::fopen(output_path.c_str(), "wb");
    if (out == nullptr || std::fwrite(output.get(), 1, size, out) != size || std::fclose(out) != 0) {
      std::perror(output_path.c_str());
      return 1;
    }
    ++files;
    bytes += size;
  }
  std::printf("inflate: %lu files, %llu bytes\n", files, bytes);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "crc") == 0) return crc_files();
  if (argc >= 2 && std::strcmp(argv[1], "inflate") == 0) return inflate_files();
  std::fprintf(stderr, "usage: reference crc | reference inflate  (paths on standard input)\n");
  return 2;
}
