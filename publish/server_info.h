#pragma once
// The server information file: where the client fetches from and whether the service
// is open. The format has room for one keyword section, so only the combinations the
// client can read are written.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/server_info.h"

namespace corvid::publish {

// The file the operator asks for, written by the client's side; refusals of
// combinations and values go to `problems`.
bool format_server_info(const server_info_settings& info, std::string& text, std::vector<std::string>& problems);

// Reads a server information file with the client's reader, into `read` when given, and
// reports every line that the client refuses, skips or reads otherwise than written, and
// every location it cannot use as written.
bool check_server_info_text(std::string_view text, std::vector<std::string>& problems, server_info* read = nullptr);

}  // namespace corvid::publish
