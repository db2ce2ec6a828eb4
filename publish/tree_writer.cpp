#include "publish/tree_writer.h"

#include <chrono>
#include <cstdio>
#include <system_error>

#include "publish/list_reader.h"
#include "publish/list_time.h"
#include "publish/name_rules.h"
#include "publish/zlib_stream.h"

namespace fs = std::filesystem;

namespace {
void index_entries(earlier_tree& tree, const std::vector<list_entry>& entries) {
  for (const list_entry& entry : entries) tree.entries.emplace(lower_case(entry.name), entry);
}

// Prints how far a long run has got, at most every two seconds.
class progress_line {
 public:
  progress_line(const char* label, std::size_t total) : label_(label), total_(total) {}

  void update(std::size_t done) {
    auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::seconds(2)) return;
    last_ = now;
    std::printf("%s: %zu of %zu files\n", label_, done, total_);
    std::fflush(stdout);
  }

 private:
  const char* label_;
  std::size_t total_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

bool lend_stream(const fs::path& from, const fs::path& to) {
  std::error_code code;
  fs::create_hard_link(from, to, code);
  if (!code) return true;
  // File systems without hard links get a copy.
  return fs::copy_file(from, to, fs::copy_options::overwrite_existing, code) && !code;
}

// Reuses the earlier tree's stream when the file is the one it was made from. `entry`
// comes with the file's size and time and gets the stream's packed size and CRC-32.
bool try_reuse(const tree_job& job, const release_file& file, const fs::path& target, list_entry& entry) {
  auto earlier = job.earlier->entries.find(lower_case(file.name));
  if (earlier == job.earlier->entries.end()) return false;
  const list_entry& old = earlier->second;
  if (old.size != entry.size || old.time != entry.time) return false;
  fs::path stream = job.earlier->folder / lower_case(file.name);
  std::error_code code;
  if (fs::file_size(stream, code) != old.packed_size || code) return false;
  stream_facts facts;
  std::string unreadable;  // compressing it afresh reports that
  if (!file_crc32(file.path, facts, unreadable) || facts.size != old.size || facts.crc32 != old.crc32)
    return false;
  if (!lend_stream(stream, target)) return false;
  entry.packed_size = old.packed_size;
  entry.crc32 = old.crc32;
  return true;
}

bool compress_one(const release_file& file, const fs::path& target, list_entry& entry,
                  std::string& error) {
  stream_facts facts;
  if (!compress_file(file.path, target, facts, error)) return false;
  if (facts.size != file.size) {
    error = display_path(file.path) + " changed while it was being published";
    return false;
  }
  if (facts.packed_size > 0xFFFFFFFFull) {
    error = display_path(file.path) + " compresses to 4 GiB or more; the client counts sizes in 32 bits";
    return false;
  }
  entry.packed_size = static_cast<std::uint32_t>(facts.packed_size);
  entry.crc32 = facts.crc32;
  return true;
}
}  // namespace

earlier_tree read_earlier_product_tree(const fs::path& folder) {
  earlier_tree tree;
  tree.folder = folder;
  std::string header_bytes, packed, text, ignored;
  list_entry header;
  std::vector<list_entry> entries;
  if (!read_whole_file(folder / "cpatch.dat", header_bytes, ignored) ||
      !decode_patch_header(header_bytes, header) ||
      !read_whole_file(folder / "gfl.mft", packed, ignored) || packed.size() != header.packed_size ||
      !uncompress_text(packed, header.size, text) || !read_list_text(text, entries, ignored))
    return tree;
  index_entries(tree, entries);
  tree.manifest_bytes = std::move(packed);
  tree.header = header;
  return tree;
}

earlier_tree read_earlier_client_tree(const fs::path& folder) {
  earlier_tree tree;
  tree.folder = folder;
  std::string text, ignored;
  std::vector<list_entry> entries;
  if (read_whole_file(folder / "cpatch.dat", text, ignored) && read_list_text(text, entries, ignored))
    index_entries(tree, entries);
  return tree;
}

bool write_streams(const tree_job& job, std::vector<list_entry>& entries, tree_counts& counts,
                   std::string& error) {
  progress_line progress(job.label, job.files->size());
  std::size_t kept = 0;
  for (const release_file& file : *job.files) {
    std::optional<std::uint32_t> time = list_time(file.modified, job.utc_offset);
    if (!time) {
      error = display_path(file.path) + ": its modification time does not fit the list's 32-bit time";
      return false;
    }
    list_entry entry;
    entry.name = file.name;
    entry.size = static_cast<std::uint32_t>(file.size);
    entry.time = *time;
    fs::path target = job.folder / lower_case(file.name);
    std::error_code code;
    fs::create_directories(target.parent_path(), code);
    if (code) {
      error = "cannot create " + display_path(target.parent_path()) + ": " + code.message();
      return false;
    }
    if (job.earlier->entries.count(lower_case(file.name))) ++kept;
    if (try_reuse(job, file, target, entry)) {
      ++counts.reused;
    } else {
      if (!compress_one(file, target, entry, error)) return false;
      ++counts.compressed;
    }
    entries.push_back(entry);
    progress.update(entries.size());
  }
  counts.removed = job.earlier->entries.size() - kept;
  return true;
}

bool write_product_lists(const fs::path& folder, const std::vector<list_entry>& entries,
                         long utc_offset, const earlier_tree& earlier, std::string& error) {
  std::string text = format_list_text(entries);
  std::string packed = compress_text(text);
  list_entry manifest;
  manifest.name = "gfl.mft";
  manifest.size = static_cast<std::uint32_t>(text.size());
  manifest.packed_size = static_cast<std::uint32_t>(packed.size());
  manifest.crc32 = text_crc32(text);
  if (earlier.header && packed == earlier.manifest_bytes) {
    manifest.time = earlier.header->time;
  } else {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    std::int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    manifest.time = list_time(seconds, utc_offset).value_or(0);
    if (earlier.header && manifest.time <= earlier.header->time) manifest.time = earlier.header->time + 1;
  }
  patch_header_bytes header = encode_patch_header(manifest);
  return write_whole_file(folder / "gfl.mft", packed, error) &&
         write_whole_file(folder / "cpatch.dat",
                          std::string_view(reinterpret_cast<const char*>(header.data()), header.size()),
                          error);
}

bool write_client_list(const fs::path& folder, const std::vector<list_entry>& entries,
                       std::string& error) {
  return write_whole_file(folder / "cpatch.dat", format_list_text(entries), error);
}
