#pragma once
// Checks an operator's command script before it is published. The client carries out
// what it can and silently skips the rest, so a line it would skip or misread is
// refused here, by its line number, instead of failing unseen on every player's
// machine. So is a line that would delete or move what the client needs: a file the
// release installs (the client would fetch it again on every run) or the client's own.

#include <string>
#include <string_view>
#include <vector>

namespace corvid::publish {

// Adds one "line N: why" to `problems` for every such line; true when there is none.
// `installed` holds the names, relative and in any letter case, of every file that the
// release and the update client's tree install.
bool check_command_script(std::string_view text, const std::vector<std::string>& installed,
                          std::vector<std::string>& problems);

// The names of `names` that no unlink line of the script deletes, in their order: files
// a release drops stay on players' disks unless the script deletes them.
std::vector<std::string> not_deleted_by(std::string_view script, const std::vector<std::string>& names);

}  // namespace corvid::publish
