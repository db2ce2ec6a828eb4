#pragma once
// Directory helpers shared by the download and the file fetcher.

// True when `path` can be made the current directory; the current directory is
// restored afterwards.
bool directory_exists(const char* path);

// Creates every missing directory before each "/" or "\" in `path`; the text after the
// last separator is not created. 1 on success, -1 on failure (directories made before
// the failure stay).
int create_directory_path(const char* path);
