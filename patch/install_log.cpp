#include "patch/install_log.h"

#include <cstdio>
#include <cstring>

#include "app/handles.h"
#include "text/fixed_text.h"

void add_install_log_line(const char* line) {
  if (line == nullptr || line[0] == '\0') return;
  stdio_file log(std::fopen(install_log_file, "r+"));
  if (!log) return;
  // Room for the longest line the fetch forms (two 255-character names and the
  // label), so that no line of ours is ever split and then added again.
  fixed_text<1024> present;
  while (std::fgets(present.buffer(), present.buffer_size(), log.get()) != nullptr) {
    if (_stricmp(present.c_str(), line) == 0) return;
  }
  std::fseek(log.get(), 0, SEEK_END);
  std::fputs(line, log.get());
  std::fflush(log.get());
}

void slashes_to_backslashes(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == '/') *text = '\\';
  }
}
