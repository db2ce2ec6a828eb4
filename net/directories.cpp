#include "net/directories.h"

#include <direct.h>
#include <windows.h>

#include <cstring>

#include "text/fixed_text.h"

namespace {
constexpr std::size_t longest_directory_prefix = 259;
}

bool directory_exists(const char* path) {
  // Without the saved directory there is no way back, so nothing is tried.
  char saved[260];
  if (_getcwd(saved, sizeof saved) == nullptr) return false;
  if (_chdir(path) != 0) return false;
  _chdir(saved);
  return true;
}

int create_directory_path(const char* path) {
  if (path == nullptr) return -1;
  std::size_t length = std::strlen(path);
  for (std::size_t i = 0; i < length; ++i) {
    if (path[i] != '/' && path[i] != '\\') continue;
    if (i == 0) continue;  // the root of an absolute path is there already
    // A cut prefix would name another directory than the one asked for.
    if (i > longest_directory_prefix) return -1;
    fixed_text<longest_directory_prefix + 1> prefix(std::string_view(path, i));
    if (!full_path_fits(prefix.c_str())) return -1;
    if (!directory_exists(prefix.c_str()) && _mkdir(prefix.c_str()) != 0) return -1;
  }
  return 1;
}

bool full_path_fits(const char* path) {
  char full[longest_directory_prefix + 1];
  DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
  return length != 0 && length < sizeof full;
}
