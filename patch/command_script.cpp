#include "patch/command_script.h"

#include <io.h>
#include <windows.h>

#include <cstring>
#include <string_view>

#include "platform/handles.h"
#include "core/update_state.h"
#include "net/directories.h"
#include "patch/command_line.h"
#include "text/lower_case.h"

namespace corvid {

namespace {

void run_unlink(const char* directory, const char* pattern) {
  if (!path_inside_installation(state.installation_directory.c_str(), directory)) return;
  // Each match is deleted as `directory` + its name, so folders in the pattern only
  // choose names; they never lead the deletion elsewhere.
  std::vector<matched_file_name> list;
  list_matching_files(list, directory, pattern);
  for (const matched_file_name& name : list) DeleteFileA(name.c_str());
}

void run_rmdir(const char* directory) {
  if (!path_inside_installation(state.installation_directory.c_str(), directory)) return;
  RemoveDirectoryA(directory);
}

void run_mv(const char* from, const char* to) {
  const char* base = state.installation_directory.c_str();
  if (!path_inside_installation(base, from) || !path_inside_installation(base, to)) return;
  if (_access(from, 0) != 0) return;
  MoveFileA(from, to);
}

void run_command(const script_line& line) {
  switch (line.command) {
    case script_command::unlink: run_unlink(line.first.c_str(), line.second.c_str()); break;
    case script_command::rmdir: run_rmdir(line.first.c_str()); break;
    case script_command::mv: run_mv(line.first.c_str(), line.second.c_str()); break;
    case script_command::none: break;
  }
}

}  // namespace

bool path_inside_installation(const char* base, const char* path) {
  path_text installation;
  if (!absolute_form(base, installation)) return false;

  // The folder part of the path, or its drive alone ("c:name" is in c:'s current folder).
  std::string_view text(path);
  std::string_view folder_part = directory_part(text);
  if (folder_part.empty() && text.size() >= 2 && text[1] == ':') folder_part = text.substr(0, 2);
  path_text folder;
  if (!folder.assign(folder_part)) return false;
  path_text resolved;
  if (!absolute_form(folder.empty() ? "." : folder.c_str(), resolved)) return false;

  std::size_t length = installation.size();
  if (resolved.size() < length || !equal_ignoring_case(resolved.view().substr(0, length), installation.view())) {
    return false;
  }
  if (resolved.size() == length) return true;
  return is_separator(resolved.c_str()[length]) || is_separator(installation.c_str()[length - 1]);
}

void list_matching_files(std::vector<matched_file_name>& list, const char* directory, const char* pattern) {
  path_text search_path;
  if (!search_path.format("%s%s", directory, pattern)) return;
  WIN32_FIND_DATAA found;
  find_handle search(FindFirstFileA(search_path.c_str(), &found));
  if (!search) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (list.size() >= most_matched_files) break;
    matched_file_name name;
    // A cut name would be another file; it is left alone.
    if (name.format("%s%s", directory, found.cFileName)) list.push_back(name);
  } while (FindNextFileA(search.get(), &found));
}

bool run_command_script(const char* path) {
  stdio_file file(std::fopen(path, "rb"));
  if (!file) return false;
  line_source lines(file.get());
  return read_command_script(lines, run_command);
}

}  // namespace corvid
