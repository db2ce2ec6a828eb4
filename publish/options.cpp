#include "publish/options.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#include "core/product.h"
#include "publish/platform.h"

namespace fs = std::filesystem;

namespace corvid::publish {

// What CLI11 fills in, before it is checked and turned into the options.
struct command_line::raw_values {
  std::string release, out, client, commands, info_name, url;
  std::string client_host, product_host, header_hosts, down, redirect;
  std::vector<std::string> mirrors;
  unsigned long long max_patch_mb = 0;
  long utc_offset = 0;
};

namespace {
void add_output_flags(CLI::App& command, output_options& output, const char* verbose_text) {
  command.add_flag("--json", output.json, "print one JSON document instead of lines, for pipelines");
  command.add_flag("-q,--quiet", output.quiet, "print only what went wrong");
  command.add_flag("-v,--verbose", output.verbose, verbose_text);
}

bool host_pair_value(const char* option, const std::string& text, host_pair& pair, std::string& error) {
  std::size_t comma = text.find(',');
  if (comma == std::string::npos || text.find(',', comma + 1) != std::string::npos) {
    error = std::string(option) + " takes CLIENT,PRODUCT: two server locations and one comma";
    return false;
  }
  pair.client = text.substr(0, comma);
  pair.product = text.substr(comma + 1);
  return true;
}

std::vector<std::string> split_lines(std::string text) {
  if (!text.empty() && text.back() == '\n') text.pop_back();
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    std::size_t feed = text.find('\n', start);
    std::string line = text.substr(start, feed - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (feed == std::string::npos) break;
    start = feed + 1;
  }
  return lines;
}

bool folder_value(const char* option, const std::string& text, fs::path& path, std::string& error) {
  if (text.empty()) {
    error = std::string(option) + " needs a folder";
    return false;
  }
  path = fs::u8path(text);
  return true;
}
}  // namespace

command_line::command_line() : app_(std::make_unique<CLI::App>(general_help, "corvid-publish")), raw_(new raw_values) {
  CLI::App& app = *app_;
  raw_values& raw = *raw_;
  app.set_version_flag("--version", std::string("corvid-publish ") + version);
  app.require_subcommand(1);
  app.get_formatter()->column_width(24);
  build_.jobs = processor_count();

  CLI::App& build = *app.add_subcommand("build", "publish a release");
  build_command_ = &build;
  build.footer(build_help);
  build
      .add_option("--release", raw.release,
                  "the product files, as they are to be installed. Every\n"
                  "file below DIR is published; empty folders are not.")
      ->option_text("DIR")
      ->required();
  build
      .add_option("--out", raw.out,
                  "the tree to write: new, empty, or one this tool\n"
                  "published. See \"The output tree\" below.")
      ->option_text("DIR")
      ->required();
  build
      .add_option("--client", raw.client,
                  "the update client's own files (its talomar.exe); without\n"
                  "it no client tree is written.")
      ->option_text("DIR");
  build
      .add_option("--commands", raw.commands,
                  "a command script to publish as \"command.dat\"; see\n"
                  "\"Command scripts\" below.")
      ->option_text("FILE");
  build
      .add_option("--exclude", build_.excludes,
                  "leave out files and folders whose name matches PATTERN\n"
                  "(* and ? match; letter case counts), or whose path below\n"
                  "--release or --client matches it when it holds a \"/\".\n"
                  "May be given again.")
      ->option_text("PATTERN")
      ->allow_extra_args(false)
      ->take_all();
  build
      .add_option("--utc-offset", raw.utc_offset,
                  "the standard-time offset, east of UTC, in which the list\n"
                  "times are written (3600 for UTC+1); default: this\n"
                  "machine's own standard offset. See \"Times\" below.")
      ->option_text("SECONDS")
      ->check(CLI::Range(-50400L, 50400L));
  build
      .add_option("-j,--jobs", build_.jobs,
                  "compress N files at once; default: the number of cores\n"
                  "(" +
                      std::to_string(processor_count()) + " here). The output is the same for any N.")
      ->option_text("N")
      ->check(CLI::Range(1u, 1024u));
  build
      .add_option("--level", build_.level,
                  "zlib compression level, 1 (fastest) to 9 (smallest);\n"
                  "default 6. Measured on 197 MB of Windows programs, text\n"
                  "and pictures: 9 took four times as long as 6 for streams\n"
                  "0.5 % smaller, and 1 made them 7.5 % larger. A file is\n"
                  "compressed once and fetched by every player who lacks\n"
                  "it; unchanged files keep their streams whatever the level.")
      ->option_text("N")
      ->check(CLI::Range(1, 9));
  build.add_flag("--dry-run", build_.dry_run,
                 "write nothing; list every file as added, changed,\n"
                 "touched, reused or removed, and what a current and a new\n"
                 "player would download.");
  add_output_flags(build, build_.output, "list every file's fate as well");
  build.add_option("--info", raw.info_name, "write the server information file as OUT/NAME.")->option_text("NAME");
  build.add_option("--client-host", raw.client_host, "server location of the client tree (line 2).")
      ->option_text("LOC");
  build.add_option("--product-host", raw.product_host, "server location of the product tree (line 3).")
      ->option_text("LOC");
  build
      .add_option("--header-hosts", raw.header_hosts,
                  "serve the client list and the product's patch header\n"
                  "and manifest from other locations (\"mft\").")
      ->option_text("C,P");
  build
      .add_option("--mirror", raw.mirrors,
                  "a pair of mirror locations (\"aurl\"); up to ten. The\n"
                  "client picks one pair at random and takes files from\n"
                  "the mirrors in turn.")
      ->option_text("C,P")
      ->allow_extra_args(false)
      ->take_all();
  build
      .add_option("--max-patch-mb", raw.max_patch_mb,
                  "refuse updates larger than N MiB (\"mps\"); 0 for none; at\n"
                  "most 4095. Alone or with --mirror.")
      ->option_text("N");
  build
      .add_option("--down", raw.down,
                  "the service is closed: players see TEXT (up to five\n"
                  "lines) and the client stops (\"down\").")
      ->option_text("TEXT");
  build.add_option("--redirect", raw.redirect, "send clients to another server information location\n(\"uurl\").")
      ->option_text("LOC");

  CLI::App& verify = *app.add_subcommand("verify", "check a published tree, or a live server and its mirrors");
  verify_command_ = &verify;
  verify.footer(verify_help);
  CLI::Option* out = verify.add_option("--out", raw.out, "a tree this tool published.")->option_text("DIR");
#ifdef CORVID_PUBLISH_HTTP
  verify
      .add_option("--url", raw.url,
                  "the server information location, as update.dat names it\n"
                  "(\"http://\" may be left out); see \"Live servers\" below.")
      ->option_text("LOC")
      ->excludes(out);
  verify.add_flag("--quick", verify_.quick, "with --url: compare only the lengths the server\nannounces.");
#else
  out->required();
#endif
  add_output_flags(verify, verify_.output, "list every location checked as well");
}

command_line::~command_line() = default;

bool command_line::build_chosen() const { return build_command_->parsed(); }

std::optional<int> command_line::parse(int argc, char** argv) {
  std::string error;
  try {
    app_->parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    CLI::App* asked = build_command_->parsed() ? build_command_ : verify_command_->parsed() ? verify_command_ : nullptr;
    std::fputs(asked ? asked->help("corvid-publish").c_str() : app_->help().c_str(), stdout);
    return exit_done;
  } catch (const CLI::CallForVersion& version) {
    std::printf("%s\n", version.what());
    return exit_done;
  } catch (const CLI::ParseError& failure) {
    error = failure.what();
  }
  if (error.empty()) {
    if (build_chosen() ? finish_build(error) : finish_verify(error)) return std::nullopt;
  }
  const char* command = build_chosen() ? " build" : verify_command_->parsed() ? " verify" : "";
  std::fprintf(stderr, "corvid-publish%s: %s\n(see corvid-publish%s --help)\n", command, error.c_str(), command);
  return exit_usage;
}

bool command_line::finish_build(std::string& error) {
  const raw_values& raw = *raw_;
  if (!folder_value("--release", raw.release, build_.release, error) ||
      !folder_value("--out", raw.out, build_.out, error))
    return false;
  if (build_command_->count("--client")) build_.client = fs::u8path(raw.client);
  if (build_command_->count("--commands")) build_.commands = fs::u8path(raw.commands);
  if (build_command_->count("--utc-offset")) build_.utc_offset = raw.utc_offset;

  server_info_settings& info = build_.info;
  info.client_host = raw.client_host;
  info.product_host = raw.product_host;
  if (build_command_->count("--header-hosts")) {
    host_pair pair;
    if (!host_pair_value("--header-hosts", raw.header_hosts, pair, error)) return false;
    info.header_hosts = pair;
  }
  for (const std::string& mirror : raw.mirrors) {
    host_pair pair;
    if (!host_pair_value("--mirror", mirror, pair, error)) return false;
    info.mirrors.push_back(pair);
  }
  if (build_command_->count("--max-patch-mb"))
    info.max_patch_mb = static_cast<unsigned>(std::min<unsigned long long>(raw.max_patch_mb, 1000000));
  if (build_command_->count("--down")) info.down_lines = split_lines(raw.down);
  if (build_command_->count("--redirect")) info.redirect = raw.redirect;

  bool any = !info.client_host.empty() || !info.product_host.empty() || info.header_hosts || !info.mirrors.empty() ||
             info.max_patch_mb || !info.down_lines.empty() || info.redirect;
  if (!build_command_->count("--info")) {
    if (any) error = "the server options describe the server information file; name it with --info";
    return !any;
  }
  build_.info_name = raw.info_name;
  if (info.client_host.empty() || info.product_host.empty()) {
    error = "--info needs --client-host and --product-host";
    return false;
  }
  return true;
}

bool command_line::finish_verify(std::string& error) {
  const raw_values& raw = *raw_;
  verify_.url = raw.url;
  if (verify_.quick && !verify_command_->count("--url")) {
    error = "--quick goes with --url";
    return false;
  }
  if (verify_command_->count("--out")) return folder_value("--out", raw.out, verify_.out, error);
  if (!verify_command_->count("--url")) {
    error = "verify needs --out, or --url for a live server";
    return false;
  }
  if (raw.url.empty()) {
    error = "--url needs a location";
    return false;
  }
  return true;
}

}  // namespace corvid::publish
