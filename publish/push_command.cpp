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

// Every mirror gets the whole release folder, hard-linked to the one before it, before
// any gets the new pointer: a player's update.dat may name any of them, and every
// pointer names every mirror. Then the releases the local tree no longer keeps go; a
// kept release a mirror lacks comes with its hard links, not as a second copy.
void push_all(const push_options& options, const published_release& release, const std::string& info_name,
              std::vector<std::string>& errors) {
  std::string folder = releases_folder + std::string("/") + std::to_string(release.serial) + "/", error;
  std::vector<unsigned> serials = release_serials(release.folder.parent_path().parent_path());
  auto earlier = std::find(serials.begin(), serials.end(), release.serial);
  auto remote = [](const std::string& target) { return target + (target.ends_with("/") ? "" : "/"); };
  for (const std::string& target : options.targets) {
    std::vector<std::string> copy = {utf8_text(release.folder) + "/", remote(target) + folder};
    // By content: a stream of the release before with the same size and time (a second
    // apart at most) is not the same stream, and must not be linked in its place.
    if (earlier != serials.begin())
      copy.insert(copy.begin(), {"--checksum", "--link-dest=../" + std::to_string(*(earlier - 1))});
    if (!rsync(options, copy, "release " + std::to_string(release.serial) + " to " + target, error))
      errors.push_back(error);
  }
  // No pointer moves unless every mirror has the whole release.
  if (!errors.empty()) return;
  for (const std::string& target : options.targets) {
    // Always sent: the pointer of the next release has the same size, and maybe time.
    if (!info_name.empty() &&
        !rsync(options, {"--ignore-times", utf8_text(*release.pointer), remote(target) + info_name},
               info_name + " to " + target, error))
      errors.push_back(error);
  }
  if (!errors.empty()) return;
  for (const std::string& target : options.targets) {
    if (!rsync(options,
               {"--delete", "--hard-links", utf8_text(release.folder.parent_path()) + "/",
                remote(target) + releases_folder + "/"},
               "the releases kept to " + target, error))
      errors.push_back(error);
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
