#include "publish/release_document.h"

#include <memory>

#include "patch/checksum.h"
#include "publish/name_rules.h"
#include "publish/platform.h"
#include "publish/release_signing.h"
#include "publish/zlib_stream.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {

bool digest_of_bytes(std::string_view bytes, sha256_digest& digest) {
  release_digest sum;
  return sum.add(bytes.data(), bytes.size()) && sum.finish(digest);
}

bool digest_of_served(const fs::path& path, sha256_digest& digest, std::string& error) {
  std::string bytes;
  if (!read_whole_file(path, bytes, error)) return false;
  if (digest_of_bytes(bytes, digest)) return true;
  error = "cannot compute the SHA-256 of " + display_path(path);
  return false;
}

// The CRC-32 is summed beside the digest, so that a file changed since its stream was
// made is caught rather than signed with another content.
bool digest_of_installed(const release_file& file, const file_entry& entry, sha256_digest& digest, std::string& error) {
  stdio_file stream = open_file(file.path, "rb");
  if (!stream) {
    error = cannot("read", file.path, errno);
    return false;
  }
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[256 * 1024]);
  checksum sum;
  release_digest hash;
  bool hashed = true;
  bool read =
      sum_file(stream.get(), std::span<unsigned char>(buffer.get(), 256 * 1024), sum,
               [&](const unsigned char* bytes, std::size_t length) { return hashed = hash.add(bytes, length); });
  if (!read) {
    error = cannot("read", file.path, errno);
    return false;
  }
  if (!hashed || !hash.finish(digest)) {
    error = "cannot compute the SHA-256 of " + display_path(file.path);
    return false;
  }
  if (sum.size() != entry.size || sum.crc32() != entry.crc32) {
    error = display_path(file.path) + " changed while it was published; publish again";
    return false;
  }
  return true;
}

}  // namespace

std::uint64_t next_release_serial(const fs::path& folder) {
  std::string document, ignored;
  signed_document_parts parts;
  signed_release release;
  if (!read_whole_file(folder / signed_document_file_name, document, ignored) ||
      !split_signed_document(document, parts))
    return 1;
  signed_release_reader reader(parts.signed_bytes);
  return reader.read_values(release) ? release.serial + 1 : 1;
}

bool write_release_document(const fs::path& folder, const tree_signing& signing, const std::vector<release_file>& files,
                            const std::vector<file_entry>& entries, std::string& error) {
  signed_release release;
  release.tree = signing.tree;
  release.serial = signing.serial;
  release.expires = signing.expires;
  release.file_count = static_cast<int>(entries.size());
  if (!digest_of_served(folder / list_file_name, release.list, error)) return false;
  if (signing.tree == release_tree::product) {
    if (!digest_of_served(folder / manifest_file_name, release.manifest, error)) return false;
    std::error_code code;
    release.has_script = fs::exists(folder / command_script_name, code);
    if (release.has_script && !digest_of_served(folder / command_script_name, release.script, error)) return false;
  }
  std::vector<signed_file> signed_files(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (interrupted()) {
      error = "interrupted";
      return false;
    }
    signed_files[i].name = entries[i].name;
    if (!digest_of_installed(files[i], entries[i], signed_files[i].digest, error)) return false;
  }
  std::string text, document;
  if (!format_signed_release(release, signed_files, text)) {
    error = "the signed document of " + display_path(folder) + " cannot be written";
    return false;
  }
  return sign_release_document(text, signing.keys, document, error) &&
         write_whole_file(folder / signed_document_file_name, document, error);
}

bool check_signed_tree(const served_file& served, release_tree tree, const release_public_key& key,
                       std::map<std::string, sha256_digest>& files, std::string& error) {
  std::string document;
  if (!served(signed_document_file_name, document, error)) return false;
  if (!check_release_document(document, key, error)) return false;
  signed_document_parts parts;
  signed_release release;
  split_signed_document(document, parts);
  files.clear();
  if (!read_signed_release(parts.signed_bytes, release, [&files](const signed_file& file) {
        return files.emplace(lower_case(file.name.view()), file.digest).second;
      })) {
    error = "its signed values do not read";
    return false;
  }
  if (release.tree != tree) {
    error = "it is the other tree's";
    return false;
  }
  auto same = [&](const char* name, const sha256_digest& signed_digest) {
    std::string bytes;
    sha256_digest digest;
    if (!served(name, bytes, error)) return false;
    if (!digest_of_bytes(bytes, digest)) {
      error = std::string("cannot compute the SHA-256 of ") + name;
      return false;
    }
    if (digest == signed_digest) return true;
    error = std::string(name) + " is not the one it signs";
    return false;
  };
  if (!same(list_file_name, release.list)) return false;
  if (tree == release_tree::product) {
    if (!same(manifest_file_name, release.manifest)) return false;
    std::string script, ignored;
    if (release.has_script != served(command_script_name, script, ignored)) {
      error = release.has_script ? "it signs a command script the tree lacks" : "it signs no command script";
      return false;
    }
    if (release.has_script && !same(command_script_name, release.script)) return false;
  }
  return true;
}

served_file served_from(const fs::path& folder) {
  return [folder](const char* name, std::string& bytes, std::string& why) {
    return read_whole_file(folder / name, bytes, why);
  };
}

}  // namespace corvid::publish
