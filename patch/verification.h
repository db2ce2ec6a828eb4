#pragma once
// Compares the files a list names with the installed copies and marks the ones to
// fetch: the shared file list, its needs_fetch marks and the total bytes to fetch.

#include "core/file_entry.h"

namespace corvid {

// The update client's own file list, a text file. Checks without pumping messages.
bool read_client_file_list(const char* path);

// The manifest that `manifest` describes (from the patch header file): inflated
// whole, then every entry checked, one window message pumped per entry.
bool check_product_files(const file_entry& manifest);

// Marks `entry` when its installed copy below `working_directory` is missing, has
// another length, or (when its time disagrees or a complete check was asked for)
// another CRC-32. A copy whose content is right gets the listed time.
void check_listed_file(file_entry& entry, const char* working_directory);

}  // namespace corvid
