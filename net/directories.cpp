#include "net/directories.h"

#include <direct.h>
#include <windows.h>

#include <cstring>

namespace corvid {

bool directory_exists(const char* path) {
  // Without the saved directory there is no way back, so nothing is tried.
  path_text saved;
  if (_getcwd(saved.buffer(), static_cast<int>(saved.buffer_size())) == nullptr) return false;
  if (_chdir(path) != 0) return false;
  _chdir(saved.c_str());
  return true;
}

bool create_directory_path(const char* path) {
  if (path == nullptr) return false;
  std::size_t length = std::strlen(path);
  for (std::size_t i = 0; i < length; ++i) {
    if (!is_separator(path[i])) continue;
    if (i == 0) continue;  // the root of an absolute path is there already
    // A cut prefix would name another directory than the one asked for.
    if (i > longest_path) return false;
    path_text prefix(std::string_view(path, i));
    if (!full_path_fits(prefix.c_str())) return false;
    if (!directory_exists(prefix.c_str()) && _mkdir(prefix.c_str()) != 0) return false;
  }
  return true;
}

bool absolute_form(const char* path, path_text& out) {
  DWORD length = GetFullPathNameA(path, static_cast<DWORD>(out.buffer_size()), out.buffer(), nullptr);
  return length > 0 && length < out.buffer_size();
}

bool full_path_fits(const char* path) {
  path_text full;
  return absolute_form(path, full);
}

}  // namespace corvid
