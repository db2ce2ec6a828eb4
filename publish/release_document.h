#pragma once
// The signed document a tree is published with: the digests of the lists as served and
// of every installed file, signed with the operator's keys.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "core/file_entry.h"
#include "patch/signed_document.h"
#include "publish/release_key_file.h"
#include "publish/release_scan.h"

namespace corvid::publish {

// One past the serial of the document of the tree published in `folder`, 1 when it has
// none that reads: for the flat layout, whose trees have no release serial of their own.
std::uint64_t next_release_serial(const std::filesystem::path& folder);

struct tree_signing {
  release_tree tree = release_tree::product;
  std::uint64_t serial = 1;
  std::uint64_t expires = 0;  // seconds since 1970, UTC; 0 for none
  std::span<const release_key_pair> keys;
};

// Writes `folder`/csigned.dat for the tree just written there: `files[i]` is installed
// as `entries[i]`. Each file is read again and must still be what was listed.
bool write_release_document(const std::filesystem::path& folder, const tree_signing& signing,
                            const std::vector<release_file>& files, const std::vector<file_entry>& entries,
                            std::string& error);

// verify --key: the tree's document is `key`'s, of `tree`, and its lists' digests are
// those of the lists served beside it.
bool check_release_document_of(const std::filesystem::path& folder, release_tree tree, const release_public_key& key,
                               std::string& error);

}  // namespace corvid::publish
