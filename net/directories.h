#pragma once
// Directory helpers shared by the download, the file fetcher and the command script.

#include "text/paths.h"

namespace corvid {

// True when `path` can be made the current directory; the current directory is
// restored afterwards.
bool directory_exists(const char* path);

// Creates every missing directory before each "/" or "\" in `path`; the text after the
// last separator is not created. False on the first failure (directories made before
// it stay).
bool create_directory_path(const char* path);

// `path` made absolute against the current directory, as the C runtime's fullpath
// does; false when that is longer than a path may be.
bool absolute_form(const char* path, path_text& out);

// True when `path`, made absolute against the current directory, has at most the 259
// characters that Windows allows a path without the long-path prefix. Windows refuses
// longer ones where Wine takes them, and a file installed there under Wine would be
// one that the player's Windows can never install.
bool full_path_fits(const char* path);

}  // namespace corvid
