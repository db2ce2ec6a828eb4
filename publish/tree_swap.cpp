#include "publish/tree_swap.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "core/product.h"
#include "publish/platform.h"
#include "publish/release_folders.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
fs::path beside(const fs::path& folder, const char* suffix) {
  fs::path path = folder;
  path += suffix;
  return path;
}

// True when the step that left `code` went well; else false, with why in `error`.
bool went_well(const std::error_code& code, const char* what, const fs::path& path, std::string& error) {
  if (code) error = cannot(what, path, code);
  return !code;
}
}  // namespace

bool resolve_output_paths(const fs::path& out, output_paths& paths, std::string& error) {
  fs::path full = fs::absolute(out).lexically_normal();
  if (!full.has_filename()) full = full.parent_path();
  paths = output_paths();
  paths.out = full;
  std::error_code code;
  if (fs::is_symlink(full, code)) {
    fs::path target = fs::canonical(full, code);
    if (code || !fs::is_directory(target, code)) {
      error = "--out " + display_path(full) + " is a link to " + display_path(fs::read_symlink(full, code)) +
              ", which is not a folder; point it at one, or give the folder itself";
      return false;
    }
    paths.link = full;
    paths.out = target;
  }
  paths.staging = beside(paths.out, ".staging");
  paths.previous = beside(paths.out, ".previous");
  paths.lock = beside(paths.out, ".lock");
  paths.kept = beside(paths.out, ".options");
  return true;
}

bool output_is_replaceable(const output_paths& paths, std::string& why) {
  std::error_code error;
  if (!fs::exists(paths.out, error)) return true;
  if (!fs::is_directory(paths.out, error)) {
    why = display_path(paths.out) + " exists and is not a folder";
    return false;
  }
  if (fs::is_empty(paths.out, error) && !error) return true;
  if (fs::is_regular_file(paths.out / "product" / list_file_name, error) || fs::exists(paths.kept, error) ||
      fs::is_directory(paths.out / releases_folder, error))
    return true;
  why = display_path(paths.out) +
        " holds files but no published tree (releases/ or product/cpatch.dat); give a new or empty folder";
  return false;
}

bool recover_interrupted_run(const output_paths& paths, std::vector<std::string>& notes, std::string& error) {
  std::error_code code;
  if (fs::exists(paths.previous, code) && !fs::exists(paths.out, code)) {
    fs::rename(paths.previous, paths.out, code);
    if (!went_well(code, "put back the earlier tree", paths.previous, error)) return false;
    notes.push_back("put back the earlier tree that an interrupted publish had moved to " +
                    display_path(paths.previous));
  }
  if (fs::exists(paths.staging, code)) {
    fs::remove_all(paths.staging, code);
    if (!went_well(code, "remove", paths.staging, error)) return false;
    notes.push_back("removed " + display_path(paths.staging) + ", left by an interrupted publish");
  }
  return true;
}

bool create_staging(const output_paths& paths, std::string& error) {
  std::error_code code;
  fs::create_directories(paths.out.parent_path(), code);
  if (!code) fs::create_directory(paths.staging, code);
  return went_well(code, "create", paths.staging, error);
}

bool open_to_readers(const fs::path& folder, std::string& error) {
  std::error_code code;
  fs::permissions(folder, fs::perms(0755), code);
  for (fs::recursive_directory_iterator item(folder, code), end; !code && item != end; item.increment(code))
    fs::permissions(item->path(), fs::perms(item->is_directory(code) ? 0755 : 0644), code);
  return went_well(code, "make readable to the web server", folder, error);
}

bool carry_over(const output_paths& paths, const std::vector<std::string>& dropped, std::string& error) {
  std::error_code code;
  for (const fs::directory_entry& item : fs::directory_iterator(paths.out, code)) {
    fs::path name = item.path().filename(), target = paths.staging / name;
    if (fs::exists(target, code) || name == "product" || name == "client" ||
        std::find(dropped.begin(), dropped.end(), name.string()) != dropped.end())
      continue;
    fs::copy(item.path(), target,
             fs::copy_options::recursive | fs::copy_options::create_hard_links | fs::copy_options::copy_symlinks, code);
    if (!went_well(code, "keep", item.path(), error)) return false;
  }
  return true;
}

bool swap_into_place(const output_paths& paths, std::vector<std::string>& notes, std::string& error) {
  std::error_code code;
  if (!fs::exists(paths.out, code)) {
    fs::rename(paths.staging, paths.out, code);
    return went_well(code, "move the new tree to", paths.out, error);
  }
  fs::remove_all(paths.previous, code);
  if (!went_well(code, "remove", paths.previous, error)) return false;
  if (exchange_folders(paths.staging, paths.out)) {
    // The staging path now holds the earlier tree.
    fs::rename(paths.staging, paths.previous, code);
    if (code) fs::remove_all(paths.staging, code);
    return true;
  }
  int reason = errno;
  if (reason != ENOSYS && reason != EINVAL && reason != ENOTSUP) {
    error = "cannot switch " + display_path(paths.staging) + " with " + display_path(paths.out) + ": " +
            system_reason(reason);
    return false;
  }
  notes.push_back("this file system cannot swap two folders in one step, so " + display_path(paths.out) +
                  " was missing for a moment between two renames");
  fs::rename(paths.out, paths.previous, code);
  if (!went_well(code, "move aside", paths.out, error)) return false;
  fs::rename(paths.staging, paths.out, code);
  if (went_well(code, "move the new tree to", paths.out, error)) return true;
  fs::rename(paths.previous, paths.out, code);
  return false;
}

void discard_staging(const output_paths& paths) {
  std::error_code ignored;
  fs::remove_all(paths.staging, ignored);
}

}  // namespace corvid::publish
