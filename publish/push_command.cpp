// push: a published release to mirrors, in the one order that never shows a player a
// pointer to files that are not there yet. A folder target is written here, HOST:PATH
// by rsync; both put each file under a temporary name and rename it, so a file
// changes on the far side in one step and the pointer file last.

#include <algorithm>
#include <array>
#include <cstring>

#include "publish/options.h"
#include "publish/platform.h"
#include "publish/release_folders.h"
#include "publish/zlib_stream.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
// Runs rsync; `what` says in the error what it was copying.
bool rsync(const push_options& options, std::vector<std::string> arguments, const std::string& what,
           std::string& error) {
  arguments.insert(arguments.begin(), {"rsync", "--archive", "--mkpath"});
  if (!options.rsh.empty()) arguments.insert(arguments.begin() + 1, {"--rsh", options.rsh});
  if (options.output.verbose) arguments.insert(arguments.begin() + 1, "--itemize-changes");
  int status = run_program(arguments, error);
  if (status > 0) error = "rsync failed (exit " + std::to_string(status) + ") copying " + what;
  return status == 0;
}

// HOST:PATH as rsync reads it; a drive letter ("C:\\site") is a folder.
bool is_remote(const std::string& target) {
  std::size_t colon = target.find(':');
  return colon != std::string::npos && colon > 1 && target.find_first_of("/\\") > colon;
}

bool same_bytes(const fs::path& a, const fs::path& b) {
  std::error_code code;
  if (fs::file_size(a, code) != fs::file_size(b, code) || code) return false;
  stdio_file first = open_file(a, "rb"), second = open_file(b, "rb");
  static thread_local std::array<char, 64 * 1024> one, other;
  for (std::size_t got = 1; first && second && got;) {
    got = std::fread(one.data(), 1, one.size(), first.get());
    if (std::fread(other.data(), 1, got, second.get()) != got || std::memcmp(one.data(), other.data(), got) != 0)
      return false;
  }
  return first && second && !std::ferror(first.get()) && !std::ferror(second.get());
}

// `from` to `to` by a temporary name and a rename, so that a player meets the old file
// whole or the new one; a link to `like` in place of a copy when one is given.
bool place_file(const fs::path& from, const fs::path& to, const fs::path& like, std::string& error) {
  std::string name = ".";
  name += to.filename().string();
  name += ".push";
  fs::path fresh = to.parent_path() / name;
  std::error_code code;
  fs::create_directories(to.parent_path(), code);
  fs::remove(fresh, code);
  if (like.empty() || (fs::create_hard_link(like, fresh, code), code))
    fs::copy_file(from, fresh, fs::copy_options::overwrite_existing, code);
  if (!code) fs::rename(fresh, to, code);
  if (!code) return true;
  error = cannot("write", to, code);
  fs::remove(fresh, code);
  return false;
}

// Local release `serial` into a folder's releases/, file by file. A file the target
// has already is left when it is the same: by content for the release being pushed,
// by size for the kept ones, which never change. A file another kept release shares
// here, as a hard link, is linked to that release's copy there when it holds the same
// bytes, so that a release costs a mirror only its changes too.
bool copy_release_folder(const fs::path& releases, unsigned serial, const std::vector<unsigned>& kept,
                         const fs::path& target, bool by_content, std::string& error) {
  fs::path source = releases / std::to_string(serial), into = target / std::to_string(serial);
  std::error_code code;
  for (fs::recursive_directory_iterator item(source, code), end; !code && item != end; item.increment(code)) {
    if (!item->is_regular_file(code)) continue;
    fs::path relative = item->path().lexically_relative(source), to = into / relative, like;
    if (fs::exists(to, code) &&
        (by_content ? same_bytes(item->path(), to) : fs::file_size(to, code) == item->file_size(code)))
      continue;
    for (unsigned other : kept) {
      fs::path here = releases / std::to_string(other) / relative, there = target / std::to_string(other) / relative;
      if (other != serial && fs::equivalent(item->path(), here, code) && same_bytes(item->path(), there)) {
        like = there;
        break;
      }
    }
    if (!place_file(item->path(), to, like, error)) return false;
  }
  if (code) error = cannot("read", source, code);
  return !code;
}

// Every mirror gets the whole release folder, hard-linked to the one before it, before
// any gets the new pointer: a player's update.dat may name any of them, and every
// pointer names every mirror. Then the releases the local tree no longer keeps go; a
// kept release a mirror lacks comes with its hard links, not as a second copy.
void push_all(const push_options& options, const published_release& release, const std::string& info_name,
              std::vector<std::string>& errors) {
  std::string folder = releases_folder + std::string("/") + std::to_string(release.serial) + "/", error;
  fs::path releases = release.folder.parent_path();
  std::vector<unsigned> serials = release_serials(releases.parent_path());
  auto earlier = std::find(serials.begin(), serials.end(), release.serial);
  unsigned before = earlier != serials.begin() ? *(earlier - 1) : 0;  // 0 for none
  auto remote = [](const std::string& target) { return target + (target.ends_with("/") ? "" : "/"); };
  auto far_releases = [](const std::string& target) { return fs::u8path(target) / releases_folder; };
  for (const std::string& target : options.targets) {
    bool copied;
    if (is_remote(target)) {
      std::vector<std::string> copy = {utf8_text(release.folder) + "/", remote(target) + folder};
      // By content: a stream of the release before with the same size and time (a
      // second apart at most) is not the same stream, and must not be linked in its place.
      if (before) copy.insert(copy.begin(), {"--checksum", "--link-dest=../" + std::to_string(before)});
      copied = rsync(options, copy, "release " + std::to_string(release.serial) + " to " + target, error);
    } else {
      copied = copy_release_folder(releases, release.serial, serials, far_releases(target), true, error);
    }
    if (!copied) errors.push_back(error);
  }
  // No pointer moves unless every mirror has the whole release.
  if (!errors.empty()) return;
  for (const std::string& target : options.targets) {
    if (info_name.empty()) break;
    // Always sent: the pointer of the next release has the same size, and maybe time.
    std::string text;
    bool sent = is_remote(target)
                    ? rsync(options, {"--ignore-times", utf8_text(*release.pointer), remote(target) + info_name},
                            info_name + " to " + target, error)
                    : read_whole_file(*release.pointer, text, error) &&
                          replace_file(fs::u8path(target) / info_name, text, error);
    if (!sent) errors.push_back(error);
  }
  if (!errors.empty()) return;
  for (const std::string& target : options.targets) {
    if (is_remote(target)) {
      if (!rsync(options,
                 {"--delete", "--hard-links", utf8_text(releases) + "/", remote(target) + releases_folder + "/"},
                 "the releases kept to " + target, error))
        errors.push_back(error);
      continue;
    }
    for (unsigned serial : serials) {
      if (serial != release.serial &&
          !copy_release_folder(releases, serial, serials, far_releases(target), false, error))
        errors.push_back(error);
    }
    for (unsigned serial : release_serials(fs::u8path(target))) {
      std::error_code code;
      if (!std::binary_search(serials.begin(), serials.end(), serial) &&
          fs::remove_all(far_releases(target) / std::to_string(serial), code) == static_cast<std::uintmax_t>(-1))
        errors.push_back("cannot remove release " + std::to_string(serial) + " from " + target + ": " + code.message());
    }
  }
}
}  // namespace

int run_push(const push_options& options) {
  report out("push", options.output);
  output_paths paths;
  kept_site kept;
  std::string error;
  if (resolve_output_paths(options.out, paths, error) && read_kept(paths, kept, error) && kept.options.flat)
    error = display_path(paths.out) + " has the flat layout, which has no release folder to push";
  published_release release = current_release(paths.out, kept.options.flat, kept.options.info_name);
  if (error.empty() && release.serial == 0) error = display_path(paths.out) + " holds no release folder";
  if (error.empty() && kept.options.info_name && !release.pointer)
    error = display_path(paths.out / *kept.options.info_name) + " is missing";
  if (!error.empty()) {
    out.error(error);
    return out.finish(exit_refused);
  }
  out.data()["serial"] = release.serial;
  std::vector<std::string> errors;
  push_all(options, release, kept.options.info_name.value_or(""), errors);
  for (const std::string& failure : errors) out.error(failure);
  out.data()["targets"] = options.targets;
  if (errors.empty())
    out.line("release " + std::to_string(release.serial) + " is live on " + std::to_string(options.targets.size()) +
             " target(s)");
  return out.finish(errors.empty() ? exit_done : exit_refused);
}

}  // namespace corvid::publish
