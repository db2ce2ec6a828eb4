#include <algorithm>
#include <cstdio>
#include <system_error>

#include "publish/command_check.h"
#include "publish/commands.h"
#include "publish/list_time.h"
#include "publish/name_rules.h"
#include "publish/options.h"
#include "publish/release_scan.h"
#include "publish/tree_swap.h"
#include "publish/tree_writer.h"
#include "publish/zlib_stream.h"

namespace fs = std::filesystem;

namespace {
struct build_inputs {
  std::vector<release_file> product;
  std::vector<release_file> client;
  std::string commands;
  std::string info_text;
};

bool is_within(const fs::path& inner, const fs::path& outer) {
  auto [mismatch, unused] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return mismatch == outer.end();
}

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
    problems.push_back(std::string(option) + " " + display_path(folder) + " and --out " +
                       display_path(paths.out) + " must not hold one another");
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
                   std::vector<std::string>& problems) {
  check_folder("--release", options.release, paths, problems);
  if (options.client) check_folder("--client", *options.client, paths, problems);
  if (!problems.empty()) return false;
  scan_release(options.release, inputs.product, problems);
  if (options.client) scan_release(*options.client, inputs.client, problems);
  if (options.commands) {
    std::string error;
    std::vector<std::string> lines;
    if (!read_whole_file(*options.commands, inputs.commands, error)) {
      problems.push_back(error);
    } else if (!check_command_script(inputs.commands, lines)) {
      for (const std::string& line : lines) problems.push_back(display_path(*options.commands) + ": " + line);
    }
  }
  if (options.info_name) {
    check_info_name(*options.info_name, problems);
    format_server_info(options.info, inputs.info_text, problems);
  }
  std::string why;
  if (!output_is_replaceable(paths, why)) problems.push_back(why);
  return problems.empty();
}

bool write_tree(const build_options& options, const build_inputs& inputs, const output_paths& paths,
                long utc_offset, tree_counts& product_counts, tree_counts& client_counts,
                std::string& error) {
  std::error_code code;
  fs::path product = paths.staging / "product";
  fs::create_directory(product, code);
  earlier_tree earlier_product = read_earlier_product_tree(paths.out / "product");
  std::vector<list_entry> entries;
  tree_job job{"product", &inputs.product, product, utc_offset, &earlier_product};
  if (!write_streams(job, entries, product_counts, error) ||
      !write_product_lists(product, entries, utc_offset, earlier_product, error))
    return false;
  if (options.commands && !write_whole_file(product / "command.dat", inputs.commands, error)) return false;
  if (options.client) {
    fs::path client = paths.staging / "client";
    fs::create_directory(client, code);
    earlier_tree earlier_client = read_earlier_client_tree(paths.out / "client");
    std::vector<list_entry> client_entries;
    tree_job client_job{"client", &inputs.client, client, utc_offset, &earlier_client};
    if (!write_streams(client_job, client_entries, client_counts, error) ||
        !write_client_list(client, client_entries, error))
      return false;
  }
  if (options.info_name && !write_whole_file(paths.staging / *options.info_name, inputs.info_text, error))
    return false;
  return true;
}

void print_counts(const char* label, const tree_counts& counts) {
  std::printf("%s: %zu compressed, %zu reused, %zu removed\n", label, counts.compressed,
              counts.reused, counts.removed);
}
}  // namespace

int run_build(const std::vector<std::string>& args) {
  build_options options;
  std::string error;
  if (!parse_build_options(args, options, error)) {
    std::fprintf(stderr, "corvid-publish build: %s\n(see corvid-publish build --help)\n", error.c_str());
    return exit_usage;
  }
  if (options.help) {
    std::fputs(build_help, stdout);
    return exit_done;
  }
  output_paths paths = output_paths_for(options.out);
  std::vector<std::string> notes;
  if (!recover_interrupted_run(paths, notes, error)) {
    std::fprintf(stderr, "corvid-publish: %s\n", error.c_str());
    return exit_refused;
  }
  for (const std::string& note : notes) std::printf("note: %s\n", note.c_str());

  build_inputs inputs;
  std::vector<std::string> problems;
  if (!gather_inputs(options, paths, inputs, problems)) {
    for (const std::string& problem : problems) std::fprintf(stderr, "refused: %s\n", problem.c_str());
    std::fprintf(stderr, "corvid-publish: nothing was published\n");
    return exit_refused;
  }

  long utc_offset = options.utc_offset.value_or(machine_standard_utc_offset());
  tree_counts product_counts, client_counts;
  if (!create_staging(paths, error) ||
      !write_tree(options, inputs, paths, utc_offset, product_counts, client_counts, error) ||
      !swap_into_place(paths, error)) {
    discard_staging(paths);
    std::fprintf(stderr, "corvid-publish: %s\ncorvid-publish: nothing was published\n", error.c_str());
    return exit_refused;
  }
  print_counts("product", product_counts);
  if (options.client) print_counts("client", client_counts);
  std::printf("published %s\n", display_path(paths.out).c_str());
  return exit_done;
}
