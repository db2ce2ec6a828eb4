// A language file as the program loads it at start-up, then every message looked up
// and its conversions checked the way the message boxes check them.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text/printf_template.h"
#include "text/string_table.h"

namespace corvid {

namespace {

// The table reads from a path, so each input goes through one scratch file.
const char* scratch_path() {
  static char path[] = "/tmp/corvid-fuzz-strings-XXXXXX";
  static bool made = false;
  if (!made) {
    int fd = mkstemp(path);
    if (fd < 0) std::abort();
    close(fd);
    std::atexit([] { unlink(path); });
    made = true;
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = scratch_path();
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  // The program's own shape, and a narrow one that cuts almost every line.
  static const std::uint16_t shapes[][2] = {{512, 64}, {3, 5}};
  for (const auto& shape : shapes) {
    string_table table;
    table.create(shape[0], shape[1]);
    if (table.load(path) != 0) std::abort();
    for (std::uint16_t number = 0; number <= shape[1] + 1; ++number) {
      const char* text = table.lookup("default", number);
      if (std::strlen(text) >= shape[0] && text[0] != 'd') std::abort();
      printf_template_fits(text, "sd");
      printf_template_fits(text, "fs");
    }
    table.release();
  }
  return 0;
}

}  // namespace corvid
