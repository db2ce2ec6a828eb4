#pragma once
// Writes the streams of the two trees a server publishes, the product tree and the
// update-client tree, and the product's manifest and patch header. A file that an earlier
// tree already holds with the same size and CRC-32 keeps that tree's stream instead of
// being compressed again; only its time follows the file. Streams are made by several
// threads at once, each file by one, so the output is the same whatever their number.

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

// "touched": the same bytes with a new time, so the stream is reused.
enum class change_kind { added, changed, touched, reused, removed };
inline constexpr const char* change_names[] = {"added", "changed", "touched", "reused", "removed"};

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

// What an earlier publish left in one tree, by lower-cased name; empty when there is no
// earlier tree or its lists cannot be read, and the files are then compressed afresh.
struct earlier_tree {
  std::filesystem::path folder;
  std::map<std::string, file_entry> entries;
  std::optional<file_entry> header;  // product tree: its patch header,
  std::string manifest_text;         // the inflated manifest
  std::string manifest_bytes;        // and the manifest as served
};
earlier_tree read_earlier_tree(const std::filesystem::path& folder, bool product);

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
  std::string manifest;  // as served
  patch_header_bytes header{};
  bool manifest_changed = true;
};

// A manifest whose text has not changed keeps the earlier bytes and time, so clients keep
// their stored copy; a changed one gets the time of publishing, later than the earlier
// one's, so that no stored copy is taken as current.
product_lists make_product_lists(const std::vector<file_entry>& entries, long utc_offset, int level,
                                 const earlier_tree& earlier);

}  // namespace corvid::publish
