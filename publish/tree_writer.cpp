#include "publish/tree_writer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "publish/interrupt.h"
#include "publish/list_time.h"
#include "publish/name_rules.h"
#include "publish/progress.h"

namespace fs = std::filesystem;

namespace corvid::publish {

const char* change_name(change_kind kind) {
  switch (kind) {
    case change_kind::added: return "added";
    case change_kind::changed: return "changed";
    case change_kind::touched: return "touched";
    case change_kind::reused: return "reused";
    case change_kind::removed: return "removed";
  }
  return "";
}

namespace {
void index_entries(earlier_tree& tree, const std::vector<list_entry>& entries) {
  for (const list_entry& entry : entries) tree.entries.emplace(lower_case(entry.name), entry);
}

bool lend_stream(const fs::path& from, const fs::path& to) {
  std::error_code code;
  fs::create_hard_link(from, to, code);
  if (!code) return true;
  // File systems without hard links get a copy.
  return fs::copy_file(from, to, fs::copy_options::overwrite_existing, code) && !code;
}

// One file's stream: lent by the earlier tree when the bytes are the ones it was made
// from, made afresh otherwise.
class stream_maker {
 public:
  stream_maker(const tree_job& job, const stream_settings& settings) : job_(job), settings_(settings) {}

  bool make(const release_file& file, list_entry& entry, change_kind& kind, std::string& error) const {
    fs::path target = settings_.dry_run ? fs::path() : job_.folder / lower_case(file.name);
    auto earlier = job_.earlier->entries.find(lower_case(file.name));
    bool known = earlier != job_.earlier->entries.end();
    bool counted = false;
    if (known && reuse(file, earlier->second, target, entry, error, counted)) {
      kind = earlier->second.time == entry.time ? change_kind::reused : change_kind::touched;
    } else {
      if (!error.empty()) return false;
      stream_facts facts;
      if (!compress_file(file.path, target, settings_.level, facts, error, counted ? nullptr : settings_.bytes_read))
        return false;
      if (facts.size != file.size) return changed_meanwhile(file, error);
      if (facts.packed_size > 0xFFFFFFFFull) {
        error = display_path(file.path) + " compresses to 4 GiB or more; the client counts sizes in 32 bits";
        return false;
      }
      entry.packed_size = static_cast<std::uint32_t>(facts.packed_size);
      entry.crc32 = facts.crc32;
      kind = known ? change_kind::changed : change_kind::added;
    }
    // As tar does: a file whose size, times or inode moved while it was read may have
    // been read half old and half new.
    file_identity after;
    if (!read_identity(file.path, after) || !(after == file.identity)) return changed_meanwhile(file, error);
    return true;
  }

 private:
  // True when the earlier stream serves; false with `error` empty when the file has to
  // be compressed instead.
  bool reuse(const release_file& file, const list_entry& old, const fs::path& target, list_entry& entry,
             std::string& error, bool& counted) const {
    if (old.size != entry.size) return false;
    fs::path stream = job_.earlier->folder / lower_case(file.name);
    std::error_code code;
    if (fs::file_size(stream, code) != old.packed_size || code) return false;
    stream_facts facts;
    if (!file_crc32(file.path, facts, error, settings_.bytes_read)) return false;
    counted = true;
    if (facts.size != old.size || facts.crc32 != old.crc32) return false;
    if (!target.empty() && !lend_stream(stream, target)) return false;
    entry.packed_size = old.packed_size;
    entry.crc32 = old.crc32;
    return true;
  }

  static bool changed_meanwhile(const release_file& file, std::string& error) {
    error = display_path(file.path) + " changed while it was being published; publish again once it is written";
    return false;
  }

  const tree_job& job_;
  const stream_settings& settings_;
};

// Runs `task` for every index in `order`, on as many threads as the settings allow.
// After the first failure, or once the run is interrupted, no task starts.
template <typename Task>
bool run_on_threads(const std::vector<std::size_t>& order, const stream_settings& settings,
                    std::vector<std::string>& errors, Task task) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::atomic<unsigned> finished{0};
  std::mutex errors_lock;
  unsigned jobs = static_cast<unsigned>(std::clamp<std::size_t>(order.size(), 1, std::max(settings.jobs, 1u)));
  bool shown = settings.progress && settings.progress->enabled();
  auto work = [&] {
    for (std::size_t at = next++; at < order.size() && !failed && !interrupted(); at = next++) {
      std::string error;
      if (!task(order[at], error)) {
        failed = true;
        std::lock_guard<std::mutex> hold(errors_lock);
        errors.push_back(error);
      }
      if (shown && jobs == 1) settings.progress->show();
    }
    ++finished;
  };
  // Drawn once before the work starts, so that even a short run shows where it stood.
  if (shown) settings.progress->show();
  // One job runs on this thread: a second one would buy nothing, and a process that
  // must keep to one thread (the 32-bit build under emulation) can ask for that.
  if (jobs == 1) {
    work();
  } else {
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < jobs; ++i) workers.emplace_back(work);
    while (shown && finished < jobs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      settings.progress->show();
    }
    for (std::thread& worker : workers) worker.join();
  }
  if (failed) return false;
  if (interrupted()) {
    errors.push_back("interrupted");
    return false;
  }
  return true;
}

bool create_folders(const tree_job& job, std::vector<std::string>& errors) {
  std::set<fs::path> folders;
  for (const release_file& file : *job.files) folders.insert((job.folder / lower_case(file.name)).parent_path());
  for (const fs::path& folder : folders) {
    std::error_code code;
    fs::create_directories(folder, code);
    if (code) {
      errors.push_back("cannot create " + display_path(folder) + ": " + code.message());
      return false;
    }
  }
  return true;
}
}  // namespace

earlier_tree read_earlier_product_tree(const fs::path& folder) {
  earlier_tree tree;
  tree.folder = folder;
  std::string header_bytes, packed, text, ignored;
  list_entry header;
  std::vector<list_entry> entries;
  if (!read_whole_file(folder / "cpatch.dat", header_bytes, ignored) || !decode_patch_header(header_bytes, header) ||
      !read_whole_file(folder / "gfl.mft", packed, ignored) || packed.size() != header.packed_size ||
      !uncompress_text(packed, header.size, text) || !read_list_text(text, entries, ignored))
    return tree;
  index_entries(tree, entries);
  tree.manifest_text = std::move(text);
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

bool write_streams(const tree_job& job, const stream_settings& settings, tree_result& result,
                   std::vector<std::string>& errors) {
  const std::vector<release_file>& files = *job.files;
  std::size_t count = files.size();
  std::vector<list_entry> entries(count);
  std::vector<change_kind> kinds(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::optional<std::uint32_t> time = list_time(files[i].modified, job.utc_offset);
    if (!time) {
      errors.push_back(display_path(files[i].path) + ": its modification time does not fit the list's 32-bit time");
      return false;
    }
    entries[i] = {files[i].name, static_cast<std::uint32_t>(files[i].size), 0, 0, *time};
  }
  if (!settings.dry_run && !create_folders(job, errors)) return false;

  // The largest first, so that no thread is left with a large file at the end.
  std::vector<std::size_t> order(count);
  for (std::size_t i = 0; i < count; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&files](std::size_t a, std::size_t b) { return files[a].size > files[b].size; });
  stream_maker maker(job, settings);
  if (!run_on_threads(order, settings, errors, [&](std::size_t i, std::string& error) {
        return maker.make(files[i], entries[i], kinds[i], error);
      }))
    return false;

  for (std::size_t i = 0; i < count; ++i) {
    result.changes.push_back({entries[i].name, kinds[i], entries[i].size, entries[i].packed_size});
    if (kinds[i] == change_kind::added || kinds[i] == change_kind::changed)
      ++result.compressed;
    else
      ++result.reused;
  }
  std::set<std::string> listed;
  for (const list_entry& entry : entries) listed.insert(lower_case(entry.name));
  for (const auto& [lower, old] : job.earlier->entries) {
    if (listed.count(lower)) continue;
    result.changes.push_back({old.name, change_kind::removed, old.size, old.packed_size});
    ++result.removed;
  }
  result.entries = std::move(entries);
  return true;
}

product_lists make_product_lists(const std::vector<list_entry>& entries, long utc_offset, int level,
                                 const earlier_tree& earlier) {
  product_lists lists;
  std::string text = format_list_text(entries);
  list_entry manifest;
  manifest.name = "gfl.mft";
  manifest.size = static_cast<std::uint32_t>(text.size());
  manifest.crc32 = text_crc32(text);
  if (earlier.header && text == earlier.manifest_text) {
    lists.manifest = earlier.manifest_bytes;
    lists.manifest_changed = false;
    manifest.time = earlier.header->time;
  } else {
    lists.manifest = compress_text(text, level);
    auto now = std::chrono::system_clock::now().time_since_epoch();
    std::int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    manifest.time = list_time(seconds, utc_offset).value_or(0);
    if (earlier.header && manifest.time <= earlier.header->time) manifest.time = earlier.header->time + 1;
  }
  manifest.packed_size = static_cast<std::uint32_t>(lists.manifest.size());
  lists.header = encode_patch_header(manifest);
  return lists;
}

bool write_product_lists(const fs::path& folder, const product_lists& lists, std::string& error) {
  return write_whole_file(folder / "gfl.mft", lists.manifest, error) &&
         write_whole_file(folder / "cpatch.dat",
                          std::string_view(reinterpret_cast<const char*>(lists.header.data()), lists.header.size()),
                          error);
}

bool write_client_list(const fs::path& folder, const std::vector<list_entry>& entries, std::string& error) {
  return write_whole_file(folder / "cpatch.dat", format_list_text(entries), error);
}

}  // namespace corvid::publish
