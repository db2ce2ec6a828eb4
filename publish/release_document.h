#pragma once
// The signed document a tree is published with: the digests of the lists as served and
// of every installed file, signed with the operator's keys.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
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

// The bytes of a file a tree serves, by its name there; false, with why, when it serves
// none or it cannot be read.
using served_file = std::function<bool(const char* name, std::string& bytes, std::string& why)>;

// verify --key: the tree's signed document is `key`'s and of `tree`, and the lists
// `served` gives are those it signs. Each file's signed digest goes to `files` by its
// lower-cased name, the name of its stream, for the check of what the stream inflates to.
bool check_signed_tree(const served_file& served, release_tree tree, const release_public_key& key,
                       std::map<std::string, sha256_digest>& files, std::string& error);

// A tree published into `folder`, as `served` reads it.
served_file served_from(const std::filesystem::path& folder);

}  // namespace corvid::publish
