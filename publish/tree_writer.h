#pragma once
// Writes the two trees a server publishes: the product tree (patch header, manifest,
// optional command script and one stream per file) and the update-client tree (its
// file list and one stream per file). A file that an earlier tree already holds with
// the same size, time and CRC-32 keeps that tree's stream instead of being compressed
// again.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "publish/list_format.h"
#include "publish/release_scan.h"

struct tree_counts {
  std::size_t compressed = 0;
  std::size_t reused = 0;
  std::size_t removed = 0;
};

// What an earlier publish left in one tree, by lower-cased name.
struct earlier_tree {
  std::filesystem::path folder;
  std::map<std::string, list_entry> entries;
  std::string manifest_bytes;             // product tree: "gfl.mft" as served
  std::optional<list_entry> header;       // product tree: its patch header
};

// Empty when there is no earlier tree or its list cannot be read; a tree that cannot
// lend its streams is simply compressed afresh.
earlier_tree read_earlier_product_tree(const std::filesystem::path& folder);
earlier_tree read_earlier_client_tree(const std::filesystem::path& folder);

struct tree_job {
  const char* label;  // "product" or "client", for progress and messages
  const std::vector<release_file>* files;
  std::filesystem::path folder;  // inside the staging tree
  long utc_offset;
  const earlier_tree* earlier;
};

bool write_streams(const tree_job& job, std::vector<list_entry>& entries, tree_counts& counts,
                   std::string& error);

// "gfl.mft" and "cpatch.dat" of the product tree. The manifest's time is the time of
// publishing, later than the earlier tree's whenever the manifest changed, so that a
// client's stored copy is never taken as current; an unchanged manifest keeps its time
// and clients keep their copy.
bool write_product_lists(const std::filesystem::path& folder, const std::vector<list_entry>& entries,
                         long utc_offset, const earlier_tree& earlier, std::string& error);

bool write_client_list(const std::filesystem::path& folder, const std::vector<list_entry>& entries,
                       std::string& error);
