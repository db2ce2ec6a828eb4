#include "patch/scratch_copy.h"

#include <string_view>

#include "core/scratch_files.h"
#include "net/directories.h"

namespace corvid {

namespace {

// Sharing violations and denied access from a momentary open by another program last
// tens to hundreds of milliseconds; a second in all is spent before the rename fails.
constexpr int rename_attempts = 20;
constexpr DWORD rename_pause_ms = 50;

bool is_folder(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where a folder on the path is still to be made, the copy goes to the folder that it
// will be made in, which is on the same volume.
path_text scratch_folder_for(std::string_view target) {
  std::string_view folder = directory_part(target);
  while (!folder.empty()) {
    path_text folder_text(folder);
    path_text longest;
    bool fits = longest.format("%s%s", folder_text.c_str(), scratch_copy_name_at(scratch_copy_name_count - 1).c_str());
    if (fits && full_path_fits(longest.c_str()) && is_folder(folder_text.c_str())) return folder_text;
    folder = directory_part(folder.substr(0, folder.size() - 1));
  }
  return path_text();
}

}  // namespace

scratch_copy::scratch_copy(const char* target) : target_(target) {
  path_text folder = scratch_folder_for(target_.view());
  auto create = [this] {
    file_.reset(CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file_.valid();
  };
  for (int index = 0; index < scratch_copy_name_count && !created_; ++index) {
    if (!path_.format("%s%s", folder.c_str(), scratch_copy_name_at(index).c_str())) break;
    // A copy left read-only or hidden by someone else must not block every fetch; a
    // folder of that name keeps its attributes and sends the copy to the next name.
    created_ = create() || (GetLastError() == ERROR_ACCESS_DENIED && !is_folder(path_.c_str()) &&
                            SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL) && create());
  }
}

scratch_copy::~scratch_copy() { reset(); }

void scratch_copy::reset() {
  file_.reset();
  if (created_) DeleteFileA(path_.c_str());
  created_ = false;
}

bool scratch_copy::flush(std::uint32_t size) {
  return file_.valid() && (size < smallest_flushed_copy || FlushFileBuffers(file_.get()));
}

bool scratch_copy::put_in_place() {
  file_.reset();
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(path_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      created_ = false;
      return true;
    }
    DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == rename_attempts) return false;
    Sleep(rename_pause_ms);
  }
}

}  // namespace corvid
