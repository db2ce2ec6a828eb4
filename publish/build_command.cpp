#include <algorithm>
#include <ctime>
#include <system_error>

#include "core/product.h"
#include "publish/command_check.h"
#include "publish/name_rules.h"
#include "publish/options.h"
#include "publish/platform.h"
#include "publish/report.h"
#include "publish/release_document.h"
#include "publish/release_folders.h"
#include "publish/release_scan.h"
#include "publish/server_info.h"
#include "publish/tree_swap.h"
#include "publish/tree_writer.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
// One of the two trees: the product's, and the update client's when there is one.
struct tree {
  const char* label;
  std::vector<release_file> files;
  earlier_tree earlier;
  tree_result made;
};

void check_folder(const char* option, const fs::path& folder, const output_paths& paths,
                  std::vector<std::string>& problems) {
  std::error_code code;
  if (!fs::is_directory(folder, code)) {
    problems.push_back(std::string(option) + " " + display_path(folder) +
                       (fs::exists(folder, code) ? " is not a folder" : " does not exist"));
    return;
  }
  auto full = [&code](const fs::path& path) {
    return fs::weakly_canonical(fs::absolute(path), code).lexically_normal();
  };
  fs::path inner = full(folder), out = full(paths.out);
  if (is_within(inner, out) || is_within(out, inner))
    problems.push_back(std::string(option) + " " + display_path(folder) + " and --out " + display_path(paths.out) +
                       " must not hold one another");
}

std::string info_name_refusal(const std::string& name) {
  std::string why = name_refusal(name), lower = lower_case(name);
  if (why.empty() && name.find('/') != std::string::npos) why = "it is a file name, not a path";
  if (why.empty() && (lower == "product" || lower == "client")) why = "the tree's folders have that name";
  if (why.empty() && lower != name) why = "the client lower-cases the location it fetches; name it in lower case";
  return why.empty() ? why : "--info \"" + name + "\": " + why;
}

// Everything is read and checked before anything is written.
void gather_inputs(const build_options& options, const output_paths& paths, unsigned serial, std::vector<tree>& trees,
                   std::string& commands, std::string& info_text, std::vector<std::string>& problems,
                   std::vector<std::string>& warnings) {
  const site_options& site = options.site;
  std::size_t before = problems.size();
  check_folder("--release", options.release, paths, problems);
  if (options.client) check_folder("--client", *options.client, paths, problems);
  std::vector<std::string> excludes = site.excludes;
  std::string text, error;
  if (site.exclude_from && !read_whole_file(*site.exclude_from, text, error)) problems.push_back(error);
  for (std::string& pattern : split_lines(text)) {
    if (!pattern.empty() && pattern.front() != '#') excludes.push_back(std::move(pattern));
  }
  if (problems.size() != before) return;
  scan_release(options.release, excludes, trees[0].files, problems, warnings);
  if (options.client) scan_release(*options.client, excludes, trees[1].files, problems, warnings);
  if (site.commands) {
    std::vector<std::string> lines, installed;
    for (const tree& each : trees) {
      for (const release_file& file : each.files) installed.push_back(file.name);
    }
    if (!read_whole_file(*site.commands, commands, error)) problems.push_back(error);
    if (error.empty() && !check_command_script(commands, installed, lines)) {
      for (const std::string& line : lines) problems.push_back(display_path(*site.commands) + ": " + line);
    }
  }
  if (site.info_name) {
    std::string why = info_name_refusal(*site.info_name);
    if (!why.empty()) problems.push_back(why);
    format_server_info(site.flat ? site.info : pointing_at(site.info, serial), info_text, problems);
  }
  std::string why;
  if (!options.dry_run && !output_is_replaceable(paths, why)) problems.push_back(why);
}

// Adds to `current` and `fresh` what a player with the earlier release, and one with
// nothing, downloads of the tree.
void report_tree(const tree& each, bool dry_run, report& out, std::uint64_t& current, std::uint64_t& fresh) {
  const tree_result& made = each.made;
  out.line(std::string(each.label) + ": " + std::to_string(made.compressed) + " compressed, " +
           std::to_string(made.reused) + " reused, " + std::to_string(made.removed) + " removed");
  std::uint64_t size = 0, packed = 0;
  for (const file_change& change : made.changes) {
    const char* kind = change_names[static_cast<int>(change.kind)];
    out.data()["changes"].push_back({{"tree", each.label},
                                     {"name", change.name},
                                     {"change", kind},
                                     {"size", change.size},
                                     {"packed_size", change.packed_size}});
    std::string text = std::string(kind) + " " + each.label + "/" + escaped(change.name) + " (" +
                       size_text(change.size) + ", " + size_text(change.packed_size) + " served)";
    if (dry_run && change.kind != change_kind::reused)
      out.line(text);
    else
      out.detail(text);
    if (change.kind == change_kind::removed) continue;
    size += change.size;
    packed += change.packed_size;
    if (change.kind == change_kind::added || change.kind == change_kind::changed) current += change.packed_size;
  }
  fresh += packed;
  out.data()["trees"][each.label] = {{"files", made.entries.size()},
                                     {"compressed", made.compressed},
                                     {"reused", made.reused},
                                     {"removed", made.removed},
                                     {"bytes", size},
                                     {"packed_bytes", packed}};
}

// What players would pay for without the operator meaning it.
void warn_of_costs(const build_options& options, const std::vector<tree>& trees, std::string_view commands,
                   std::uint64_t download, report& out) {
  std::size_t touched = 0, listed = trees[0].made.entries.size();
  std::vector<std::string> removed;
  for (const file_change& change : trees[0].made.changes) {
    touched += change.kind == change_kind::touched;
    if (change.kind == change_kind::removed) removed.push_back(change.name);
  }
  if (listed > 0 && touched == listed)
    out.warning(
        "every file is touched (same bytes, new time), so every player reads every file again: was "
        "--utc-offset changed, or does this machine keep another time zone than the last one?");
  std::optional<unsigned> limit = options.site.info.max_patch_mb;
  if (limit && *limit && download > std::uint64_t{*limit} * 1024 * 1024)
    out.warning("a player with the earlier release downloads " + size_text(download) + ", more than --max-patch-mb " +
                std::to_string(*limit) + " allows: such players are refused the update");
  if (options.site.commands) removed = not_deleted_by(commands, removed);
  if (!removed.empty())
    out.warning(std::to_string(removed.size()) + " file(s) left the release, but stay on players' disks: " +
                (options.site.commands ? "the command script does not delete " + escaped(removed.front()) +
                                             (removed.size() > 1 ? " and the rest" : "")
                                       : std::string("no command script deletes them")));
}

int refused_run(report& out, const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) out.refused(problem);
  out.error("nothing was published");
  return out.finish(exit_refused);
}

int interrupted_run(report& out, const output_paths& paths, bool staged) {
  if (staged) discard_staging(paths);
  out.error(std::string("interrupted") +
            (staged ? "; removed the unfinished tree " + display_path(paths.staging) : std::string()) +
            "; nothing was published");
  return out.finish(interrupted_exit_code());
}
}  // namespace

int run_build(const build_options& options) {
  watch_interrupts();
  report out("build", options.output);
  out.data()["dry_run"] = options.dry_run;
  out.data()["changes"] = nlohmann::json::array();
  std::string error;
  output_paths paths;
  if (!resolve_output_paths(options.out, paths, error)) return refused_run(out, {error});
  out.data()["out"] = display_path(paths.out);
  if (!paths.link.empty())
    out.note("publishing into " + display_path(paths.out) + ", where " + display_path(paths.link) + " leads");

  // A dry run writes nothing, so it needs no lock and leaves what it finds alone.
  folder_lock lock;
  std::vector<std::string> notes;
  if (!options.dry_run) {
    long holder = 0;
    if (!lock.acquire(paths.lock, holder, error)) {
      if (error.empty())
        error = "another publish into " + display_path(paths.out) + " is running (process " +
                (holder ? std::to_string(holder) : std::string("unknown")) + ", holding " + display_path(paths.lock) +
                "); wait for it to end";
      return refused_run(out, {error});
    }
    bool recovered = recover_interrupted_run(paths, notes, error);
    for (const std::string& note : notes) out.note(note);
    if (!recovered) return refused_run(out, {error});
    notes.clear();
  }

  const site_options& site = options.site;
  for (const std::string& words : options.reused) out.note("as the last run: " + words);
  out.data()["reused_options"] = options.reused;
  if (site.info_name && !site.info.mirrors.empty())
    out.warning("with --mirror, players fetch from the mirrors only: the main hosts " + site.info.client_host +
                " and " + site.info.product_host + " are left unused");
  // The release players are given now: the earlier tree, whose streams are reused.
  published_release live = current_release(paths.out, site.flat, site.info_name);
  unsigned serial = site.flat ? 0 : next_serial(paths.out, options.last_serial);
  if (!site.flat) out.data()["serial"] = serial;
  std::vector<tree> trees(options.client ? 2 : 1);
  trees[0].label = "product";
  if (options.client) trees[1].label = "client";
  std::string commands, info_text;
  std::vector<std::string> problems = drop_refusals(options, live.folder), warnings;
  gather_inputs(options, paths, serial, trees, commands, info_text, problems, warnings);
  std::vector<release_key_pair> keys(options.sign_keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (!read_private_key_file(options.sign_keys[i], keys[i], error)) problems.push_back(error);
  }
  for (const std::string& warning : warnings) out.warning(warning);
  if (interrupted()) return interrupted_run(out, paths, false);
  if (!problems.empty()) return refused_run(out, problems);

  byte_counter bytes_read{0};
  std::uint64_t total = 0;
  for (const tree& each : trees) {
    for (const release_file& file : each.files) total += file.size;
  }
  progress_display progress(stderr, !options.output.quiet && !options.output.json, bytes_read, total);
  stream_settings settings{options.level, options.jobs, options.dry_run, &bytes_read, &progress};
  long utc_offset = options.utc_offset.value_or(machine_standard_utc_offset());
  std::vector<std::string> errors;
  bool staged = !options.dry_run && create_staging(paths, error);
  if (!options.dry_run && !staged) errors.push_back(error);
  bool written = options.dry_run || staged;
  product_lists lists;
  std::string client_list;
  // Every stream and list, into the staging tree unless this is a dry run.
  for (tree& each : trees) {
    fs::path folder = options.dry_run ? fs::path() : paths.staging / each.label;
    bool product = &each == &trees[0];
    each.earlier = read_earlier_tree(live.folder / each.label, product);
    written = written && write_streams({&each.files, folder, utc_offset, &each.earlier}, settings, each.made, errors);
    if (written && product) lists = make_product_lists(each.made.entries, utc_offset, options.level, each.earlier);
    if (written && !product) client_list = format_list_text(each.made.entries);
  }
  if (written && !options.dry_run) {
    fs::path product = paths.staging / "product";
    std::string_view header(reinterpret_cast<const char*>(lists.header.data()), lists.header.size());
    written = write_whole_file(product / manifest_file_name, lists.manifest, error) &&
              write_whole_file(product / list_file_name, header, error) &&
              (!site.commands || write_whole_file(product / command_script_name, commands, error)) &&
              (!options.client || write_whole_file(paths.staging / "client" / list_file_name, client_list, error)) &&
              (!site.flat || !site.info_name || write_whole_file(paths.staging / *site.info_name, info_text, error));
    if (!written) errors.push_back(error);
  }
  // Clients refuse a serial lower than one they took: the release's own, and in the flat
  // layout one past both the kept serial and those the live trees were signed with.
  unsigned signed_serial = serial;
  if (site.flat && !keys.empty()) {
    std::uint64_t next = options.last_serial + 1ull;
    for (const tree& each : trees) next = std::max(next, next_release_serial(live.folder / each.label));
    signed_serial = static_cast<unsigned>(next);
  }
  if (written && !options.dry_run && !keys.empty()) {
    std::uint64_t expires =
        options.expires_days ? static_cast<std::uint64_t>(std::time(nullptr)) + *options.expires_days * 86400ull : 0;
    for (const tree& each : trees) {
      bool product = &each == &trees[0];
      tree_signing signing{product ? release_tree::product : release_tree::client, signed_serial, expires, keys};
      written =
          written && write_release_document(paths.staging / each.label, signing, each.files, each.made.entries, error);
    }
    if (!written) errors.push_back(error);
  }
  progress.finish();
  if (interrupted()) return interrupted_run(out, paths, staged);
  std::vector<std::string> old_info = live_info_names(paths.out);
  std::erase(old_info, site.info_name.value_or(""));
  // Before the files kept by hand join the tree: their modes are the operator's.
  if (written && !options.dry_run && !open_to_readers(paths.staging, error)) out.warning(error);
  if (written && !options.dry_run) {
    written = site.flat ? carry_over(paths, old_info, error) && swap_into_place(paths, notes, error)
                        : install_release(paths.staging, paths.out, serial, site.info_name, info_text, error);
    if (!written) errors.push_back(error);
  }
  for (const std::string& note : notes) out.note(note);
  if (!written) {
    if (staged) discard_staging(paths);
    for (const std::string& failure : errors) out.error(failure);
    out.error("nothing was published");
    return out.finish(exit_refused);
  }

  // What a player with the earlier release, and one with nothing, would download.
  std::uint64_t listed = patch_header_size + commands.size() + client_list.size() + info_text.size();
  std::uint64_t current = listed + (lists.manifest_changed ? lists.manifest.size() : 0);
  std::uint64_t fresh = listed + lists.manifest.size();
  for (const tree& each : trees) report_tree(each, options.dry_run, out, current, fresh);
  out.data()["download_bytes"] = {{"current_player", current}, {"new_player", fresh}};
  out.line("a player with the earlier release downloads " + size_text(current) + ", a new player " + size_text(fresh));
  warn_of_costs(options, trees, commands, current, out);
  if (written && !options.dry_run) {
    kept_site kept{std::max(options.last_serial, signed_serial), site};
    if (!write_kept(paths, kept, error)) out.warning(error + "; the next run has to be given every option again");
    std::vector<unsigned> pruned;
    std::vector<std::string> failures;
    // A dropped server information file no longer names anything kept.
    for (const std::string& name : old_info) {
      std::error_code code;
      if (!site.flat && fs::remove(paths.out / name, code)) out.note("removed " + display_path(paths.out / name));
    }
    if (!site.flat) prune_releases(paths.out, site.keep, serial, pruned, failures);
    for (const std::string& failure : failures) out.warning(failure);
    for (unsigned old : pruned) out.detail("removed release " + std::to_string(old));
    if (site.keep == 1 && !pruned.empty())
      out.warning("--keep 1 removed release " + std::to_string(pruned.back()) +
                  " at once: players in the middle of an update from it meet errors until they start again");
    out.data()["pruned"] = pruned;
  }
  out.data()["published"] = !options.dry_run;
  std::string what =
      site.flat ? display_path(paths.out) : "release " + std::to_string(serial) + " in " + display_path(paths.out);
  out.line(options.dry_run ? "dry run: nothing was written; it would publish " + what : "published " + what);
  return out.finish(exit_done);
}

}  // namespace corvid::publish
