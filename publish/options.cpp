#include "publish/options.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#include "core/product.h"
#include "publish/platform.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
const char* const manual =
    "Options take \"--name value\" or \"--name=value\". The manual page tells the rest:\n"
    "man corvid-publish, or man -l corvid-publish.1 beside the program.";

// What CLI11 fills in that is checked before it becomes an option.
struct given {
  std::string release, out, url;
  std::optional<std::string> client, commands, header_hosts, down;
  std::vector<std::string> mirrors;
  std::optional<unsigned long long> max_patch_mb;
};

void add_output_flags(CLI::App& command, output_options& output, const char* verbose_text) {
  command.add_flag("--json", output.json, "print one JSON document instead of lines");
  command.add_flag("-q,--quiet", output.quiet, "print only what went wrong");
  command.add_flag("-v,--verbose", output.verbose, verbose_text);
}

// Each option with the text that stands for its value in the help.
template <typename Value>
CLI::Option* add(CLI::App& command, const char* name, Value& value, const char* text, const char* help) {
  return command.add_option(name, value, help)->option_text(text);
}

void add_build_options(CLI::App& build, build_options& options, given& raw) {
  add(build, "--release", raw.release, "DIR", "the release, as it is to be installed")->required();
  add(build, "--out", raw.out, "DIR", "the tree to write: new, empty or one this tool published")->required();
  add(build, "--client", raw.client, "DIR", "the update client's own files (its talomar.exe)");
  add(build, "--commands", raw.commands, "FILE", "a command script to publish as command.dat");
  add(build, "--exclude", options.excludes, "PATTERN", "leave out what matches (* and ?); may be given again")
      ->allow_extra_args(false)
      ->take_all();
  add(build, "--utc-offset", options.utc_offset, "SECONDS", "the standard offset east of UTC of the list times")
      ->check(CLI::Range(-50400L, 50400L));
  add(build, "-j,--jobs", options.jobs, "N", "files compressed at once; default: the number of cores")
      ->check(CLI::Range(1u, 1024u));
  add(build, "--level", options.level, "N", "zlib compression level, 1 to 9 (default 6)")->check(CLI::Range(1, 9));
  build.add_flag("--dry-run", options.dry_run, "write nothing; list what would change and be downloaded");
  add_output_flags(build, options.output, "list every file's fate as well");
  add(build, "--info", options.info_name, "NAME", "write the server information file as OUT/NAME");
  add(build, "--client-host", options.info.client_host, "LOC", "server location of the client tree");
  add(build, "--product-host", options.info.product_host, "LOC", "server location of the product tree");
  add(build, "--header-hosts", raw.header_hosts, "C,P", "serve the lists from other locations (mft)");
  add(build, "--mirror", raw.mirrors, "C,P", "a pair of mirror locations (aurl); up to ten")
      ->allow_extra_args(false)
      ->take_all();
  add(build, "--max-patch-mb", raw.max_patch_mb, "N", "refuse updates of more than N MiB (mps); 0 for none");
  add(build, "--down", raw.down, "TEXT", "close the service with a notice of up to five lines");
  add(build, "--redirect", options.info.redirect, "LOC", "send clients to another location (uurl)");
}

bool folder_value(const char* option, const std::string& text, fs::path& path, std::string& error) {
  if (text.empty()) error = std::string(option) + " needs a folder";
  path = fs::u8path(text);
  return !text.empty();
}

bool host_pair_value(const char* option, const std::string& text, host_pair& pair, std::string& error) {
  std::size_t comma = text.find(',');
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) {
    error = std::string(option) + " takes CLIENT,PRODUCT: two server locations and one comma";
    return false;
  }
  pair = {text.substr(0, comma), text.substr(comma + 1)};
  return true;
}

std::vector<std::string> split_lines(std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  std::vector<std::string> lines;
  for (std::size_t start = 0;;) {
    std::size_t feed = text.find('\n', start);
    std::string line = text.substr(start, feed - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (feed == std::string::npos) return lines;
    start = feed + 1;
  }
}

// What the values and their combinations leave to check once CLI11 has parsed them.
bool finish_build(build_options& options, const given& raw, std::string& error) {
  if (!folder_value("--release", raw.release, options.release, error) ||
      !folder_value("--out", raw.out, options.out, error))
    return false;
  if (raw.client) options.client = fs::u8path(*raw.client);
  if (raw.commands) options.commands = fs::u8path(*raw.commands);
  server_info_settings& info = options.info;
  if (raw.header_hosts && !host_pair_value("--header-hosts", *raw.header_hosts, info.header_hosts.emplace(), error))
    return false;
  for (const std::string& mirror : raw.mirrors) {
    if (!host_pair_value("--mirror", mirror, info.mirrors.emplace_back(), error)) return false;
  }
  if (raw.max_patch_mb)
    info.max_patch_mb = static_cast<unsigned>(std::min<unsigned long long>(*raw.max_patch_mb, 1000000));
  if (raw.down) info.down_lines = split_lines(*raw.down);
  bool any = !info.client_host.empty() || !info.product_host.empty() || info.header_hosts || !info.mirrors.empty() ||
             info.max_patch_mb || !info.down_lines.empty() || info.redirect;
  if (!options.info_name && any) error = "the server options describe the server information file; name it with --info";
  if (options.info_name && (info.client_host.empty() || info.product_host.empty()))
    error = "--info needs --client-host and --product-host";
  return error.empty();
}

bool finish_verify(verify_options& options, const given& raw, const CLI::App& verify, std::string& error) {
  options.url = raw.url;
  if (options.quick && !verify.count("--url")) {
    error = "--quick goes with --url";
    return false;
  }
  if (verify.count("--out")) return folder_value("--out", raw.out, options.out, error);
  if (!verify.count("--url")) error = "verify needs --out, or --url for a live server";
  if (verify.count("--url") && raw.url.empty()) error = "--url needs a location";
  return error.empty();
}
}  // namespace

int run_command_line(int argc, char** argv) {
  CLI::App app("corvid-publish: turns a release folder into the files an update server serves.", "corvid-publish");
  app.set_version_flag("--version", std::string("corvid-publish ") + version);
  app.require_subcommand(1);
  app.footer(manual);
  app.get_formatter()->column_width(24);
  given raw;
  build_options build_options;
  build_options.jobs = processor_count();
  verify_options verify_options;
  CLI::App& build = *app.add_subcommand("build", "publish a release");
  build.footer(manual);
  add_build_options(build, build_options, raw);
  CLI::App& verify = *app.add_subcommand("verify", "check a published tree, or a live server and its mirrors");
  verify.footer(manual);
  CLI::Option* out = add(verify, "--out", raw.out, "DIR", "a tree this tool published");
#ifdef CORVID_PUBLISH_HTTP
  add(verify, "--url", raw.url, "LOC", "the server information location that update.dat names")->excludes(out);
  verify.add_flag("--quick", verify_options.quick, "with --url: compare only the lengths announced");
#else
  out->required();
#endif
  add_output_flags(verify, verify_options.output, "list every location checked as well");

  std::string error;
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    CLI::App* asked = build.parsed() ? &build : verify.parsed() ? &verify : nullptr;
    std::fputs(asked ? asked->help("corvid-publish").c_str() : app.help().c_str(), stdout);
    return exit_done;
  } catch (const CLI::CallForVersion& shown) {
    std::printf("%s\n", shown.what());
    return exit_done;
  } catch (const CLI::ParseError& failure) {
    error = failure.what();
  }
  if (error.empty() && build.parsed() && finish_build(build_options, raw, error)) return run_build(build_options);
  if (error.empty() && verify.parsed() && finish_verify(verify_options, raw, verify, error)) {
#ifdef CORVID_PUBLISH_HTTP
    if (!verify_options.url.empty()) return run_verify_url(verify_options);
#endif
    return run_verify(verify_options);
  }
  const char* command = build.parsed() ? " build" : verify.parsed() ? " verify" : "";
  std::fprintf(stderr, "corvid-publish%s: %s\n(see corvid-publish%s --help)\n", command, error.c_str(), command);
  return exit_usage;
}

}  // namespace corvid::publish
