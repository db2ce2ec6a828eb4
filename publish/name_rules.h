#pragma once
// What a listed name must be for the client to install it on Windows: it passes the
// list's field rule unchanged, fits the client's 255-character name field, names a
// file that Windows can create under exactly that name, and reaches the server
// unchanged in the URL the client builds from it.

#include <string>
#include <string_view>

namespace corvid::publish {

// Why a relative name ("/" separators) cannot be published; empty when it can.
std::string name_refusal(std::string_view name);

// The client's own files in the installation folder, and its scratch copies in any
// folder: a published file of that name would be overwritten or deleted by the client
// itself.
bool is_client_scratch_name(std::string_view lower_name);

std::string lower_case(std::string_view text);

inline bool is_printable(char c) { return c >= 0x20 && c <= 0x7E; }

// The first character of `text` outside printable ASCII or in `refused`; 0 when none.
char first_refused_character(std::string_view text, std::string_view refused);

// The wildcards of a file pattern: "*" any run of characters, "?" any one.
bool wildcard_match(std::string_view pattern, std::string_view name, bool ignore_case);

}  // namespace corvid::publish
