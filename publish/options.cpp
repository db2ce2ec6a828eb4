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
  std::string release, out, url, key_out;
  std::vector<std::string> sign_keys;
  std::optional<std::string> verify_key;
  std::optional<std::string> client, commands, header_hosts, down, layout, exclude_from, expect;
  std::vector<std::string> mirrors;
  std::optional<unsigned long long> max_patch_mb;
  std::optional<unsigned> keep;
};

const char* const server_options[] = {"--info",   "--client-host",  "--product-host", "--header-hosts",
                                      "--mirror", "--max-patch-mb", "--down",         "--redirect"};

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
  site_options& site = options.site;
  add(build, "--release", raw.release, "DIR", "the release, as it is to be installed")->required();
  add(build, "--out", raw.out, "DIR", "the tree to write: new, empty or one this tool published")->required();
  add(build, "--client", raw.client, "DIR", "the update client's own files (its talomar.exe)");
  add(build, "--commands", raw.commands, "FILE", "a command script to publish as command.dat");
  add(build, "--exclude", site.excludes, "PATTERN", "leave out what matches (* and ?); may be given again")
      ->allow_extra_args(false)
      ->take_all();
  add(build, "--exclude-from", raw.exclude_from, "FILE", "leave out the patterns in FILE, one a line");
  add(build, "--layout", raw.layout, "NAME", "releases (a folder for each; default) or flat")
      ->check(CLI::IsMember({"releases", "flat"}));
  add(build, "--keep", raw.keep, "N", "release folders kept, the newest (default 3)")->check(CLI::Range(1u, 1000u));
  add(build, "--drop", options.drops, "WHAT", "leave out the live info, client, commands or signature")
      ->check(CLI::IsMember({"info", "client", "commands", "signature"}))
      ->allow_extra_args(false)
      ->take_all();
  add(build, "--utc-offset", options.utc_offset, "SECONDS", "the standard offset east of UTC of the list times")
      ->check(CLI::Range(-50400L, 50400L));
  add(build, "-j,--jobs", options.jobs, "N", "files compressed at once; default: the number of cores")
      ->check(CLI::Range(1u, 1024u));
  add(build, "--level", options.level, "N", "zlib compression level, 1 to 9 (default 6)")->check(CLI::Range(1, 9));
  add(build, "--sign", raw.sign_keys, "KEY", "sign each tree with this private key; up to four")
      ->allow_extra_args(false)
      ->take_all();
  add(build, "--expires", options.expires_days, "DAYS", "with --sign: clients refuse it after DAYS days")
      ->check(CLI::Range(1u, 36500u));
  build.add_flag("--dry-run", options.dry_run, "write nothing; list what would change and be downloaded");
  add_output_flags(build, options.output, "list every file's fate as well");
  add(build, "--info", site.info_name, "NAME", "write the server information file as OUT/NAME");
  add(build, "--client-host", site.info.client_host, "LOC", "server location of --out (flat: of the client tree)");
  add(build, "--product-host", site.info.product_host, "LOC", "the same for the product (flat: its tree)");
  add(build, "--header-hosts", raw.header_hosts, "C,P", "serve the lists from other locations (mft)");
  add(build, "--mirror", raw.mirrors, "C,P", "a pair of mirror locations (aurl); up to ten")
      ->allow_extra_args(false)
      ->take_all();
  add(build, "--max-patch-mb", raw.max_patch_mb, "N", "refuse updates of more than N MiB (mps); 0 for none");
  add(build, "--down", raw.down, "TEXT", "close the service with a notice of up to five lines");
  add(build, "--redirect", site.info.redirect, "LOC", "send clients to another location (uurl)");
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

// The command-line words of what is kept, for the note that says what a run reuses.
std::vector<std::string> words_of(const site_options& site) {
  std::vector<std::string> words;
  auto add_pair = [&words](const char* option, const host_pair& pair) {
    words.push_back(std::string(option) + " " + pair.client + "," + pair.product);
  };
  if (site.info_name) {
    words.push_back("--info " + *site.info_name);
    words.push_back("--client-host " + site.info.client_host);
    words.push_back("--product-host " + site.info.product_host);
  }
  if (site.info.header_hosts) add_pair("--header-hosts", *site.info.header_hosts);
  for (const host_pair& mirror : site.info.mirrors) add_pair("--mirror", mirror);
  if (site.info.max_patch_mb) words.push_back("--max-patch-mb " + std::to_string(*site.info.max_patch_mb));
  if (!site.info.down_lines.empty()) words.push_back("--down ...");
  if (site.info.redirect) words.push_back("--redirect " + *site.info.redirect);
  if (site.commands) words.push_back("--commands " + display_path(*site.commands));
  for (const std::string& pattern : site.excludes) words.push_back("--exclude " + pattern);
  if (site.exclude_from) words.push_back("--exclude-from " + display_path(*site.exclude_from));
  return words;
}

// The groups of options this run does not give, taken from what the last run kept: the
// server information file's options together, the command script, the exclusions
// together, the layout and the number of releases kept.
void reuse_kept(build_options& options, const given& raw, const CLI::App& build, const site_options& kept) {
  site_options& site = options.site;
  site_options reused;
  bool server_given = std::any_of(std::begin(server_options), std::end(server_options),
                                  [&build](const char* name) { return build.count(name) > 0; });
  if (!server_given && !options.dropped("info")) {
    site.info_name = reused.info_name = kept.info_name;
    site.info = reused.info = kept.info;
  }
  if (!raw.commands && !options.dropped("commands")) site.commands = reused.commands = kept.commands;
  if (!build.count("--exclude") && !raw.exclude_from) {
    site.excludes = reused.excludes = kept.excludes;
    site.exclude_from = reused.exclude_from = kept.exclude_from;
  }
  options.reused = words_of(reused);
  site.flat = raw.layout ? *raw.layout == "flat" : kept.flat;
  if (!raw.layout && kept.flat) options.reused.push_back("--layout flat");
  site.keep = raw.keep.value_or(kept.keep);
  if (!raw.keep && kept.keep != site_options().keep) options.reused.push_back("--keep " + std::to_string(kept.keep));
}

// What the values and their combinations leave to check once CLI11 has parsed them and
// the kept options have filled in what was not given.
bool finish_build(build_options& options, const given& raw, const CLI::App& build, std::string& error, bool& refused) {
  if (!folder_value("--release", raw.release, options.release, error) ||
      !folder_value("--out", raw.out, options.out, error))
    return false;
  if (raw.client) options.client = fs::u8path(*raw.client);
  for (const std::string& key : raw.sign_keys) options.sign_keys.push_back(fs::u8path(key));
  if (options.sign_keys.size() > 4) error = "--sign takes up to four keys";
  if (options.expires_days && options.sign_keys.empty()) error = "--expires goes with --sign";
  if (!error.empty()) return false;
  site_options& site = options.site;
  if (raw.commands) site.commands = fs::absolute(fs::u8path(*raw.commands));
  if (raw.exclude_from) site.exclude_from = fs::absolute(fs::u8path(*raw.exclude_from));
  server_info_settings& info = site.info;
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
  if (!site.info_name && any) error = "the server options describe the server information file; name it with --info";
  if (site.info_name && (info.client_host.empty() || info.product_host.empty()))
    error = "--info needs --client-host and --product-host";
  for (const std::string& what : options.drops) {
    bool given = what == "info"        ? site.info_name.has_value()
                 : what == "client"    ? raw.client.has_value()
                 : what == "signature" ? !options.sign_keys.empty()
                                       : raw.commands.has_value();
    if (given) error = "--drop " + what + " leaves out what this run is also given";
  }
  if (!error.empty()) return false;

  output_paths paths;
  kept_site kept;
  std::string ignored;
  if (resolve_output_paths(options.out, paths, ignored) && !read_kept(paths, kept, error)) {
    refused = true;
    return false;
  }
  options.last_serial = kept.serial;
  reuse_kept(options, raw, build, kept.options);
  return true;
}

bool finish_verify(verify_options& options, const given& raw, const CLI::App& verify, std::string& error) {
  options.url = raw.url;
  if (raw.verify_key) options.key = fs::u8path(*raw.verify_key);
  if ((options.quick || raw.expect) && !verify.count("--url")) {
    error = std::string(options.quick ? "--quick" : "--expect") + " goes with --url";
    return false;
  }
  if (raw.expect) options.expect = fs::u8path(*raw.expect);
  std::size_t scheme = raw.url.find("://");
  if (scheme != std::string::npos && !raw.url.starts_with("http://")) {
    error = "--url " + raw.url + ": the client fetches over plain HTTP only; give the location as update.dat names it";
    return false;
  }
  if (verify.count("--out")) return folder_value("--out", raw.out, options.out, error);
  if (!verify.count("--url")) error = "verify needs --out, or --url for a live server";
  if (verify.count("--url") && raw.url.empty()) error = "--url needs a location";
  return error.empty();
}
}  // namespace

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

int run_command_line(int argc, char** argv) {
  CLI::App app("corvid-publish: turns a release folder into the files an update server serves.", "corvid-publish");
  // CLI11 takes "/name" for an option on Windows, and with it a path given from the
  // drive's root ("/srv/site") as a positional argument.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("corvid-publish ") + version);
  app.require_subcommand(1);
  // Before the commands are added, which take it and the formatter over.
  app.footer(manual);
  app.get_formatter()->column_width(24);
  given raw;
  build_options build_options;
  build_options.jobs = processor_count();
  verify_options verify_options;
  push_options push_options;
  CLI::App& build = *app.add_subcommand("build", "publish a release");
  add_build_options(build, build_options, raw);
  CLI::App& verify = *app.add_subcommand("verify", "check a published tree, or a live server and its mirrors");
  CLI::Option* out = add(verify, "--out", raw.out, "DIR", "a tree this tool published");
#ifdef CORVID_PUBLISH_HTTP
  add(verify, "--url", raw.url, "LOC", "the server information location that update.dat names")->excludes(out);
  add(verify, "--expect", raw.expect, "DIR", "with --url: the published tree every location must serve");
  verify.add_flag("--quick", verify_options.quick, "with --url: compare only the lengths announced");
#else
  out->required();
#endif
  add(verify, "--key", raw.verify_key, "FILE.pub", "each tree's signed document must be this key's");
  add_output_flags(verify, verify_options.output, "list every problem and location checked as well");
  CLI::App& push = *app.add_subcommand("push", "copy the release, then the pointer, to mirrors");
  add(push, "--out", raw.out, "DIR", "a tree this tool published")->required();
  add(push, "--rsh", push_options.rsh, "CMD", "the remote shell rsync uses (its -e)");
  add(push, "TARGET", push_options.targets, "TARGET", "a folder, or HOST:PATH over rsync")->required();
  add_output_flags(push, push_options.output, "list every file copied as well");
  CLI::App& keygen = *app.add_subcommand("keygen", "make a release key pair: FILE, kept secret, and FILE.pub");
  add(keygen, "--out", raw.key_out, "FILE", "the private key file to create; FILE.pub beside it")->required();

  std::string error;
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    CLI::App* asked = app.get_subcommands().empty() ? nullptr : app.get_subcommands().front();
    std::fputs(asked ? asked->help("corvid-publish").c_str() : app.help().c_str(), stdout);
    return exit_done;
  } catch (const CLI::CallForVersion& shown) {
    std::printf("%s\n", shown.what());
    return exit_done;
  } catch (const CLI::ParseError& failure) {
    error = failure.what();
  }
  bool refused = false;
  if (error.empty() && build.parsed() && finish_build(build_options, raw, build, error, refused))
    return run_build(build_options);
  if (error.empty() && keygen.parsed()) {
    if (!raw.key_out.empty()) return run_keygen(fs::u8path(raw.key_out));
    error = "--out needs a file";
  }
  if (error.empty() && verify.parsed() && finish_verify(verify_options, raw, verify, error)) {
#ifdef CORVID_PUBLISH_HTTP
    if (!verify_options.url.empty()) return run_verify_url(verify_options);
#endif
    return run_verify(verify_options);
  }
  if (error.empty() && push.parsed() && folder_value("--out", raw.out, push_options.out, error))
    return run_push(push_options);
  std::string command = app.get_subcommands().empty() ? "" : " " + app.get_subcommands().front()->get_name();
  if (refused) {
    std::fprintf(stderr, "corvid-publish%s: %s\n", command.c_str(), error.c_str());
    return exit_refused;
  }
  std::fprintf(stderr, "corvid-publish%s: %s\n(see corvid-publish%s --help)\n", command.c_str(), error.c_str(),
               command.c_str());
  return exit_usage;
}

}  // namespace corvid::publish
