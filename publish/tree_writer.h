#pragma once
// Writes the two trees a server publishes: the product tree (patch header, manifest,
// optional command script and one stream per file) and the update-client tree (its
// file list and one stream per file). A file that an earlier tree already holds with
// the same size and CRC-32 keeps that tree's stream instead of being compressed again;
// only its time follows the file. Streams are made by several threads at once, each
// file by one, so the output is the same whatever their number.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "publish/list_format.h"
#include "publish/release_scan.h"
#include "publish/zlib_stream.h"

namespace corvid::publish {

class progress_display;

enum class change_kind { added, changed, touched, reused, removed };

// "added", "changed", "touched" (same bytes, new time: the stream is reused),
// "reused" or "removed".
const char* change_name(change_kind kind);

struct file_change {
  std::string name;
  change_kind kind = change_kind::reused;
  std::uint64_t size = 0;
  std::uint64_t packed_size = 0;
};

struct tree_result {
  std::vector<file_entry> entries;
  std::vector<file_change> changes;  // the listed files in list order, then the removed ones
  std::size_t compressed = 0;
  std::size_t reused = 0;  // touched ones included
  std::size_t removed = 0;
};

// What an earlier publish left in one tree, by lower-cased name.
struct earlier_tree {
  std::filesystem::path folder;
  std::map<std::string, file_entry> entries;
  std::string manifest_text;         // product tree: the inflated "gfl.mft"
  std::string manifest_bytes;        // product tree: "gfl.mft" as served
  std::optional<file_entry> header;  // product tree: its patch header
};

// Empty when there is no earlier tree or its list cannot be read; a tree that cannot
// lend its streams is simply compressed afresh.
earlier_tree read_earlier_product_tree(const std::filesystem::path& folder);
earlier_tree read_earlier_client_tree(const std::filesystem::path& folder);

struct stream_settings {
  int level = 0;
  unsigned jobs = 1;
  bool dry_run = false;  // measure every stream, write none
  byte_counter* bytes_read = nullptr;
  progress_display* progress = nullptr;
};

struct tree_job {
  const std::vector<release_file>* files;
  std::filesystem::path folder;  // inside the staging tree
  long utc_offset;
  const earlier_tree* earlier;
};

// False with every failure in `errors`.
bool write_streams(const tree_job& job, const stream_settings& settings, tree_result& result,
                   std::vector<std::string>& errors);

struct product_lists {
  std::string manifest;  // "gfl.mft" as served
  patch_header_bytes header{};
  bool manifest_changed = true;
};

// The manifest and the patch header. A manifest whose text has not changed keeps the
// earlier bytes and time, so clients keep their stored copy; a changed one gets the
// time of publishing, later than the earlier one's, so that no stored copy is taken
// as current.
product_lists make_product_lists(const std::vector<file_entry>& entries, long utc_offset, int level,
                                 const earlier_tree& earlier);

bool write_product_lists(const std::filesystem::path& folder, const product_lists& lists, std::string& error);

bool write_client_list(const std::filesystem::path& folder, const std::vector<file_entry>& entries, std::string& error);

}  // namespace corvid::publish
