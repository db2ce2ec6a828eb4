#pragma once
// The release layout of --out. Each build writes its release into a folder of its own,
// releases/<serial>/ with product/ and client/ in it, and never changes it once the
// server information file names it. That file, at the top of --out, is the one that
// changes: it is replaced by one rename, and its host lines name the newest folder. So a
// player never meets a manifest whose files are not there, a cache may keep a release
// folder for ever, and a mirror takes the whole new folder before the new pointer.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/server_info.h"

namespace corvid::publish {

inline constexpr const char* releases_folder = "releases";

// The serials of the release folders below `out`, in ascending order.
std::vector<unsigned> release_serials(const std::filesystem::path& out);

// The serial of the next release into `out`: 1 for the first, then one more than any
// published before, whatever was pruned since; a failed or dry run takes none.
unsigned next_serial(const std::filesystem::path& out, unsigned kept_serial);

std::filesystem::path release_folder(const std::filesystem::path& out, unsigned serial);

// The serial a tree location names, by the form above; none for another form.
std::optional<unsigned> serial_of_location(std::string_view location);

// The server information file for release `serial`: every location given as where --out
// is served now names that release's tree.
server_info_settings pointing_at(server_info_settings sites, unsigned serial);

// What players are given: the release the server information file names, else the
// newest; `serial` 0 and `folder` --out itself in the flat layout, or with none.
struct published_release {
  unsigned serial = 0;
  std::filesystem::path folder;  // holds product/ and client/
  std::optional<std::filesystem::path> pointer;
};
published_release current_release(const std::filesystem::path& out, bool flat,
                                  const std::optional<std::string>& info_name);

// Replaces `file` by writing `text` beside it and renaming it over, so that a reader
// finds the old file whole or the new one.
bool replace_file(const std::filesystem::path& file, std::string_view text, std::string& error);

// Moves the finished tree in `staging` to release `serial`'s folder, which must not
// exist, and then points the server information file `info_name`, when there is one,
// at it.
bool install_release(const std::filesystem::path& staging, const std::filesystem::path& out, unsigned serial,
                     const std::optional<std::string>& info_name, std::string_view info_text, std::string& error);

// Removes all but the newest `keep` release folders, the one players are given never.
// The serials removed go to `removed`, failures to `errors`.
void prune_releases(const std::filesystem::path& out, unsigned keep, unsigned current, std::vector<unsigned>& removed,
                    std::vector<std::string>& errors);

}  // namespace corvid::publish
