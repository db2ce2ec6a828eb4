#pragma once
// Checks an operator's command script before it is published. The client carries out
// what it can and silently skips the rest, so a line it would skip or misread is
// refused here, by its line number, instead of failing unseen on every player's
// machine.

#include <string>
#include <string_view>
#include <vector>

// Adds one "line N: why" to `problems` for every line the client would not carry out
// as written; true when there is none.
bool check_command_script(std::string_view text, std::vector<std::string>& problems);
