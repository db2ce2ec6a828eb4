#pragma once
// The game's "install.log" in the installation folder: the client adds the lines of
// the files and folders it installs, each line once, and never creates the log.

// Adds `line` (ending in a line feed) unless the log holds it already, compared
// without regard to letter case. Without a log nothing is written.
void add_install_log_line(const char* line);

void slashes_to_backslashes(char* text);

inline constexpr const char* install_log_file = "install.log";
