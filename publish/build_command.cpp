#include <algorithm>
#include <system_error>

#include "core/product.h"
#include "publish/command_check.h"
#include "publish/options.h"
#include "publish/interrupt.h"
#include "publish/list_time.h"
#include "publish/name_rules.h"
#include "publish/progress.h"
#include "publish/release_scan.h"
#include "publish/tree_swap.h"
#include "publish/tree_writer.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
struct build_inputs {
  std::vector<release_file> product;
  std::vector<release_file> client;
  std::string commands;
  std::string info_text;
};

struct build_outputs {
  earlier_tree earlier_product;
  earlier_tree earlier_client;
  tree_result product;
  tree_result client;
  product_lists lists;
  std::string client_list;
};

fs::path full_path(const fs::path& path) {
  std::error_code ignored;
  return fs::weakly_canonical(fs::absolute(path), ignored).lexically_normal();
}

void check_folder(const char* option, const fs::path& folder, const output_paths& paths,
                  std::vector<std::string>& problems) {
  std::error_code code;
  if (!fs::is_directory(folder, code)) {
    problems.push_back(std::string(option) + " " + display_path(folder) + " is not a folder");
    return;
  }
  fs::path inner = full_path(folder), out = full_path(paths.out);
  if (is_within(inner, out) || is_within(out, inner))
    problems.push_back(std::string(option) + " " + display_path(folder) + " and --out " + display_path(paths.out) +
                       " must not hold one another");
}

void check_info_name(const std::string& name, std::vector<std::string>& problems) {
  std::string why = name_refusal(name);
  if (why.empty() && name.find('/') != std::string::npos) why = "it is a file name, not a path";
  std::string lower = lower_case(name);
  if (why.empty() && (lower == "product" || lower == "client")) why = "the tree's folders have that name";
  if (why.empty() && lower != name) why = "the client lower-cases the location it fetches; name it in lower case";
  if (!why.empty()) problems.push_back("--info \"" + name + "\": " + why);
}

// Everything is read and checked before anything is written.
bool gather_inputs(const build_options& options, const output_paths& paths, build_inputs& inputs,
                   std::vector<std::string>& problems, std::vector<std::string>& warnings) {
  check_folder("--release", options.release, paths, problems);
  if (options.client) check_folder("--client", *options.client, paths, problems);
  if (!problems.empty()) return false;
  scan_release(options.release, options.excludes, inputs.product, problems, warnings);
  if (options.client) scan_release(*options.client, options.excludes, inputs.client, problems, warnings);
  if (options.commands) {
    std::string error;
    std::vector<std::string> lines, installed;
    for (const auto* files : {&inputs.product, &inputs.client}) {
      for (const release_file& file : *files) installed.push_back(file.name);
    }
    if (!read_whole_file(*options.commands, inputs.commands, error)) {
      problems.push_back(error);
    } else if (!check_command_script(inputs.commands, installed, lines)) {
      for (const std::string& line : lines) problems.push_back(display_path(*options.commands) + ": " + line);
    }
  }
  if (options.info_name) {
    check_info_name(*options.info_name, problems);
    format_server_info(options.info, inputs.info_text, problems);
  }
  std::string why;
  if (!options.dry_run && !output_is_replaceable(paths, why)) problems.push_back(why);
  return problems.empty();
}

std::uint64_t total_size(const std::vector<release_file>& files) {
  std::uint64_t total = 0;
  for (const release_file& file : files) total += file.size;
  return total;
}

// Makes every stream and list, into the staging tree unless this is a dry run.
bool make_tree(const build_options& options, const build_inputs& inputs, const output_paths& paths,
               const stream_settings& settings, build_outputs& made, std::vector<std::string>& errors) {
  long utc_offset = options.utc_offset.value_or(machine_standard_utc_offset());
  fs::path product = settings.dry_run ? fs::path() : paths.staging / "product";
  made.earlier_product = read_earlier_product_tree(paths.out / "product");
  if (!write_streams({&inputs.product, product, utc_offset, &made.earlier_product}, settings, made.product, errors))
    return false;
  made.lists = make_product_lists(made.product.entries, utc_offset, options.level, made.earlier_product);
  if (options.client) {
    fs::path client = settings.dry_run ? fs::path() : paths.staging / "client";
    made.earlier_client = read_earlier_client_tree(paths.out / "client");
    if (!write_streams({&inputs.client, client, utc_offset, &made.earlier_client}, settings, made.client, errors))
      return false;
    made.client_list = format_list_text(made.client.entries);
  }
  if (settings.dry_run) return true;
  std::string error;
  if (!write_product_lists(product, made.lists, error) ||
      (options.commands && !write_whole_file(product / command_script_name, inputs.commands, error)) ||
      (options.client && !write_client_list(paths.staging / "client", made.client.entries, error)) ||
      (options.info_name && !write_whole_file(paths.staging / *options.info_name, inputs.info_text, error))) {
    errors.push_back(error);
    return false;
  }
  return true;
}

// What a player with the earlier release, and one with nothing, would download.
void count_downloads(const build_inputs& inputs, const build_outputs& made, report& out) {
  std::uint64_t lists = patch_header_size + inputs.commands.size() + made.client_list.size() + inputs.info_text.size();
  std::uint64_t current = lists + (made.lists.manifest_changed ? made.lists.manifest.size() : 0);
  std::uint64_t fresh = lists + made.lists.manifest.size();
  for (const tree_result* tree : {&made.product, &made.client}) {
    for (const file_change& change : tree->changes) {
      if (change.kind == change_kind::removed) continue;
      fresh += change.packed_size;
      if (change.kind == change_kind::added || change.kind == change_kind::changed) current += change.packed_size;
    }
  }
  out.data()["download_bytes"] = {{"current_player", current}, {"new_player", fresh}};
  out.line("a player with the earlier release downloads " + std::to_string(current) + " bytes, a new player " +
           std::to_string(fresh));
}

void report_tree(const char* label, const tree_result& tree, bool dry_run, report& out) {
  out.line(std::string(label) + ": " + std::to_string(tree.compressed) + " compressed, " + std::to_string(tree.reused) +
           " reused, " + std::to_string(tree.removed) + " removed");
  std::uint64_t size = 0, packed = 0;
  for (const file_change& change : tree.changes) {
    if (change.kind == change_kind::removed) continue;
    size += change.size;
    packed += change.packed_size;
  }
  out.data()["trees"][label] = {{"files", tree.entries.size()},
                                {"compressed", tree.compressed},
                                {"reused", tree.reused},
                                {"removed", tree.removed},
                                {"bytes", size},
                                {"packed_bytes", packed}};
  for (const file_change& change : tree.changes) {
    out.data()["changes"].push_back({{"tree", label},
                                     {"name", change.name},
                                     {"change", change_name(change.kind)},
                                     {"size", change.size},
                                     {"packed_size", change.packed_size}});
    std::string text = std::string(change_name(change.kind)) + " " + label + "/" + change.name + " (" +
                       std::to_string(change.size) + " bytes, " + std::to_string(change.packed_size) + " served)";
    if (dry_run && change.kind != change_kind::reused)
      out.line(text);
    else
      out.detail(text);
  }
}

int interrupted_run(report& out, const output_paths& paths, bool staged) {
  if (staged) discard_staging(paths);
  out.error(std::string("interrupted") +
            (staged ? "; removed the unfinished tree " + display_path(paths.staging) : std::string()) +
            "; nothing was published");
  return out.finish(interrupted_exit_code());
}

int refused_run(report& out, const std::vector<std::string>& problems) {
  for (const std::string& problem : problems) out.refused(problem);
  out.error("nothing was published");
  return out.finish(exit_refused);
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
  if (!options.dry_run) {
    long holder = 0;
    if (!lock.acquire(paths.lock, holder, error)) {
      if (error.empty())
        error = "another publish into " + display_path(paths.out) + " is running (process " +
                (holder ? std::to_string(holder) : std::string("unknown")) + ", holding " + display_path(paths.lock) +
                "); wait for it to end";
      return refused_run(out, {error});
    }
    std::vector<std::string> notes;
    bool recovered = recover_interrupted_run(paths, notes, error);
    for (const std::string& note : notes) out.note(note);
    if (!recovered) return refused_run(out, {error});
  }

  build_inputs inputs;
  std::vector<std::string> problems, warnings;
  bool acceptable = gather_inputs(options, paths, inputs, problems, warnings);
  for (const std::string& warning : warnings) out.warning(warning);
  if (interrupted()) return interrupted_run(out, paths, false);
  if (!acceptable) return refused_run(out, problems);

  byte_counter bytes_read{0};
  progress_display progress(stderr, !options.output.quiet && !options.output.json, bytes_read,
                            total_size(inputs.product) + total_size(inputs.client));
  stream_settings settings{options.level, options.jobs, options.dry_run, &bytes_read, &progress};
  bool staged = false;
  build_outputs made;
  std::vector<std::string> errors;
  if (!options.dry_run) {
    staged = create_staging(paths, error);
    if (!staged) errors.push_back(error);
  }
  bool written = (options.dry_run || staged) && make_tree(options, inputs, paths, settings, made, errors);
  progress.finish();
  if (interrupted()) return interrupted_run(out, paths, staged);
  std::vector<std::string> notes;
  if (written && !options.dry_run) {
    written = swap_into_place(paths, notes, error);
    if (!written) errors.push_back(error);
  }
  for (const std::string& note : notes) out.note(note);
  if (!written) {
    if (staged) discard_staging(paths);
    for (const std::string& failure : errors) out.error(failure);
    out.error("nothing was published");
    return out.finish(exit_refused);
  }

  report_tree("product", made.product, options.dry_run, out);
  if (options.client) report_tree("client", made.client, options.dry_run, out);
  count_downloads(inputs, made, out);
  out.data()["published"] = !options.dry_run;
  out.line(options.dry_run ? "dry run: nothing was written" : "published " + display_path(paths.out));
  return out.finish(exit_done);
}

}  // namespace corvid::publish
