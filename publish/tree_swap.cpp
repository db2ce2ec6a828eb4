#include "publish/tree_swap.h"

#include <system_error>

#include "publish/release_scan.h"

namespace fs = std::filesystem;

output_paths output_paths_for(const fs::path& out) {
  fs::path full = fs::absolute(out).lexically_normal();
  if (!full.has_filename()) full = full.parent_path();
  output_paths paths;
  paths.out = full;
  paths.staging = full;
  paths.staging += ".staging";
  paths.previous = full;
  paths.previous += ".previous";
  return paths;
}

bool output_is_replaceable(const output_paths& paths, std::string& why) {
  std::error_code error;
  if (!fs::exists(paths.out, error)) return true;
  if (!fs::is_directory(paths.out, error)) {
    why = display_path(paths.out) + " exists and is not a folder";
    return false;
  }
  if (fs::is_empty(paths.out, error) && !error) return true;
  if (fs::is_regular_file(paths.out / "product" / "cpatch.dat", error)) return true;
  why = display_path(paths.out) +
        " holds files but no published tree (product/cpatch.dat); give a new or empty folder";
  return false;
}

bool recover_interrupted_run(const output_paths& paths, std::vector<std::string>& notes,
                             std::string& error) {
  std::error_code code;
  if (fs::exists(paths.previous, code)) {
    if (!fs::exists(paths.out, code)) {
      fs::rename(paths.previous, paths.out, code);
      if (code) {
        error = "cannot put back the earlier tree " + display_path(paths.previous) + ": " + code.message();
        return false;
      }
      notes.push_back("put back the earlier tree that an interrupted publish had moved to " +
                      display_path(paths.previous));
    } else {
      fs::remove_all(paths.previous, code);
      notes.push_back("removed " + display_path(paths.previous) + ", left by an interrupted publish");
    }
  }
  if (fs::exists(paths.staging, code)) {
    fs::remove_all(paths.staging, code);
    if (code) {
      error = "cannot remove " + display_path(paths.staging) + ": " + code.message();
      return false;
    }
    notes.push_back("removed " + display_path(paths.staging) + ", left by an interrupted publish");
  }
  return true;
}

bool create_staging(const output_paths& paths, std::string& error) {
  std::error_code code;
  fs::create_directories(paths.out.parent_path(), code);
  if (!code) fs::create_directory(paths.staging, code);
  if (code) {
    error = "cannot create " + display_path(paths.staging) + ": " + code.message();
    return false;
  }
  return true;
}

bool swap_into_place(const output_paths& paths, std::string& error) {
  std::error_code code;
  bool had_tree = fs::exists(paths.out, code);
  if (had_tree) {
    fs::rename(paths.out, paths.previous, code);
    if (code) {
      error = "cannot move " + display_path(paths.out) + " aside: " + code.message();
      return false;
    }
  }
  fs::rename(paths.staging, paths.out, code);
  if (code) {
    error = "cannot move the new tree into " + display_path(paths.out) + ": " + code.message();
    std::error_code ignored;
    if (had_tree) fs::rename(paths.previous, paths.out, ignored);
    return false;
  }
  if (had_tree) fs::remove_all(paths.previous, code);
  return true;
}

void discard_staging(const output_paths& paths) {
  std::error_code ignored;
  fs::remove_all(paths.staging, ignored);
}
