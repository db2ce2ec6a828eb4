// push: a published release to mirrors, in the one order that never shows a player a
// pointer to files that are not there yet. rsync does the copying, for a folder and for
// HOST:PATH alike: it writes each file under a temporary name and renames it, so the
// pointer file changes on the far side in one step.

#include <algorithm>

#include "publish/options.h"
#include "publish/platform.h"
#include "publish/release_folders.h"

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

// One mirror: the release folder whole, beside the earlier one it shares streams with,
// then the pointer, then the releases the local tree no longer keeps.
bool push_to(const push_options& options, const published_release& release, const std::string& info_name,
             const std::string& target, std::string& error) {
  std::string releases = utf8_text(release.folder.parent_path()) + "/";
  std::string far = target + (target.ends_with("/") ? "" : "/");
  std::string folder = releases_folder + std::string("/") + std::to_string(release.serial) + "/";
  std::vector<std::string> copy = {utf8_text(release.folder) + "/", far + folder};
  std::vector<unsigned> serials = release_serials(release.folder.parent_path().parent_path());
  auto earlier = std::find(serials.begin(), serials.end(), release.serial);
  if (earlier != serials.begin()) copy.insert(copy.begin(), "--link-dest=../" + std::to_string(*(earlier - 1)));
  return rsync(options, copy, "release " + std::to_string(release.serial) + " to " + target, error) &&
         (info_name.empty() ||
          rsync(options, {utf8_text(*release.pointer), far + info_name}, info_name + " to " + target, error)) &&
         rsync(options, {"--delete", releases, far + releases_folder + "/"}, "the releases kept to " + target, error);
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
  std::size_t failed = 0;
  for (const std::string& target : options.targets) {
    bool pushed = push_to(options, release, kept.options.info_name.value_or(""), target, error);
    out.data()["targets"].push_back({{"target", target}, {"pushed", pushed}});
    if (pushed)
      out.line(target + ": release " + std::to_string(release.serial) + " is live");
    else
      out.error(target + ": " + error);
    failed += pushed ? 0 : 1;
  }
  return out.finish(failed == 0 ? exit_done : exit_refused);
}

}  // namespace corvid::publish
