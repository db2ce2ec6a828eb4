// Runs a fuzz target's entry point over every file of the given files and folders,
// without libFuzzer, so that the corpora replay as ordinary tests with any compiler.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return false;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An empty input still gets a valid pointer, as libFuzzer gives it.
  static const std::uint8_t none = 0;
  const std::uint8_t* start = bytes.empty() ? &none : reinterpret_cast<const std::uint8_t*>(bytes.data());
  LLVMFuzzerTestOneInput(start, bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int replayed = 0;
  bool all_read = true;
  for (int i = 1; i < argc; ++i) {
    fs::path given(argv[i]);
    std::error_code error;
    if (fs::is_directory(given, error)) {
      std::vector<fs::path> files;
      for (const fs::directory_entry& entry : fs::recursive_directory_iterator(given)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      for (const fs::path& file : files) {
        all_read = replay_file(file) && all_read;
        ++replayed;
      }
    } else {
      all_read = replay_file(given) && all_read;
      ++replayed;
    }
  }
  std::printf("replay: %d inputs\n", replayed);
  // A folder that lost its files would otherwise pass without testing anything.
  return all_read && replayed > 0 ? 0 : 1;
}
