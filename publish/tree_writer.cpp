#include "publish/tree_writer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "core/product.h"
#include "publish/name_rules.h"
#include "publish/platform.h"
#include "publish/report.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
// The list time of a UTC time: local standard time, none when it leaves 32 bits.
std::optional<std::uint32_t> list_time(std::int64_t utc_seconds, long utc_offset) {
  std::int64_t local = utc_seconds + utc_offset;
  if (local < 0 || local > 0xFFFFFFFFll) return std::nullopt;
  return static_cast<std::uint32_t>(local);
}

bool changed_meanwhile(const release_file& file, std::string& error) {
  error = display_path(file.path) + " changed while it was being published; publish again once it is written";
  return false;
}

// The earlier tree's stream, when it was made from the bytes the file holds now. False
// with `error` empty when the file has to be compressed instead.
bool reuse(const tree_job& job, const stream_settings& settings, const release_file& file, const file_entry& old,
           file_entry& entry, std::string& error, bool& counted) {
  fs::path stream = job.earlier->folder / lower_case(file.name);
  std::error_code code;
  if (old.size != entry.size || fs::file_size(stream, code) != old.packed_size || code) return false;
  stream_facts facts;
  if (!file_crc32(file.path, facts, error, settings.bytes_read)) return false;
  counted = true;
  if (facts.size != old.size || facts.crc32 != old.crc32) return false;
  if (!settings.dry_run) {
    fs::path target = job.folder / lower_case(file.name);
    fs::create_hard_link(stream, target, code);
    // File systems without hard links get a copy.
    if (code && (!fs::copy_file(stream, target, fs::copy_options::overwrite_existing, code) || code)) return false;
  }
  entry.packed_size = old.packed_size;
  entry.crc32 = old.crc32;
  return true;
}

// One file's stream: lent by the earlier tree, or made afresh.
bool make_stream(const tree_job& job, const stream_settings& settings, const release_file& file, file_entry& entry,
                 change_kind& kind, std::string& error) {
  auto earlier = job.earlier->entries.find(lower_case(file.name));
  bool known = earlier != job.earlier->entries.end(), counted = false;
  if (known && reuse(job, settings, file, earlier->second, entry, error, counted)) {
    kind = earlier->second.time == entry.time ? change_kind::reused : change_kind::touched;
  } else {
    if (!error.empty()) return false;
    fs::path target = settings.dry_run ? fs::path() : job.folder / lower_case(file.name);
    stream_facts facts;
    if (!compress_file(file.path, target, settings.level, facts, error, counted ? nullptr : settings.bytes_read))
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
    end_thread_work();
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
  if (failed || !interrupted()) return !failed;
  errors.push_back("interrupted");
  return false;
}
}  // namespace

earlier_tree read_earlier_tree(const fs::path& folder, bool product) {
  earlier_tree tree;
  tree.folder = folder;
  std::string lists, packed, text, ignored;
  file_entry header;
  std::vector<file_entry> entries;
  if (!read_whole_file(folder / list_file_name, lists, ignored)) return tree;
  if (product) {
    if (!decode_patch_header(lists, header) || !read_whole_file(folder / manifest_file_name, packed, ignored) ||
        read_manifest(header, packed, text, entries, ignored) != manifest_fault::none)
      return tree;
    tree.header = header;
    tree.manifest_text = std::move(text);
    tree.manifest_bytes = std::move(packed);
  } else if (!read_list_text(lists, entries, ignored)) {
    return tree;
  }
  for (const file_entry& entry : entries) tree.entries.emplace(lower_case(entry.name), entry);
  return tree;
}

bool write_streams(const tree_job& job, const stream_settings& settings, tree_result& result,
                   std::vector<std::string>& errors) {
  const std::vector<release_file>& files = *job.files;
  std::vector<file_entry> entries(files.size());
  std::vector<change_kind> kinds(files.size());
  std::set<fs::path> folders;
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::optional<std::uint32_t> time = list_time(files[i].modified, job.utc_offset);
    if (!time) {
      errors.push_back(display_path(files[i].path) + ": its modification time does not fit the list's 32-bit time");
      return false;
    }
    entries[i].name.assign(files[i].name);
    entries[i].size = static_cast<std::uint32_t>(files[i].size);
    entries[i].time = *time;
    folders.insert((job.folder / lower_case(files[i].name)).parent_path());
  }
  for (const fs::path& folder : settings.dry_run ? std::set<fs::path>() : folders) {
    std::error_code code;
    fs::create_directories(folder, code);
    if (code) {
      errors.push_back(cannot("create", folder, code));
      return false;
    }
  }

  // The largest first, so that no thread is left with a large file at the end.
  std::vector<std::size_t> order(files.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return files[a].size > files[b].size; });
  if (!run_on_threads(order, settings, errors, [&](std::size_t i, std::string& error) {
        return make_stream(job, settings, files[i], entries[i], kinds[i], error);
      }))
    return false;

  std::set<std::string> listed;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    result.changes.push_back({std::string(entries[i].name.view()), kinds[i], entries[i].size, entries[i].packed_size});
    bool made = kinds[i] == change_kind::added || kinds[i] == change_kind::changed;
    ++(made ? result.compressed : result.reused);
    listed.insert(lower_case(entries[i].name));
  }
  for (const auto& [lower, old] : job.earlier->entries) {
    if (listed.count(lower)) continue;
    result.changes.push_back({std::string(old.name.view()), change_kind::removed, old.size, old.packed_size});
    ++result.removed;
  }
  result.entries = std::move(entries);
  return true;
}

product_lists make_product_lists(const std::vector<file_entry>& entries, long utc_offset, int level,
                                 const earlier_tree& earlier) {
  product_lists lists;
  std::string text = format_list_text(entries);
  file_entry manifest{manifest_file_name, static_cast<std::uint32_t>(text.size()), 0, crc32_of(text)};
  if (earlier.header && text == earlier.manifest_text) {
    lists.manifest = earlier.manifest_bytes;
    lists.manifest_changed = false;
    manifest.time = earlier.header->time;
  } else {
    lists.manifest = compress_text(text, level);
    auto now = std::chrono::system_clock::now().time_since_epoch();
    manifest.time = list_time(std::chrono::duration_cast<std::chrono::seconds>(now).count(), utc_offset).value_or(0);
    if (earlier.header && manifest.time <= earlier.header->time) manifest.time = earlier.header->time + 1;
  }
  manifest.packed_size = static_cast<std::uint32_t>(lists.manifest.size());
  lists.header = encode_patch_header(manifest);
  return lists;
}

}  // namespace corvid::publish
