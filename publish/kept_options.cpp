// The options a build keeps beside --out, with the serial of its last release, as JSON.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <system_error>

#include "core/product.h"
#include "publish/options.h"
#include "publish/platform.h"
#include "publish/release_folders.h"
#include "publish/tree_swap.h"
#include "publish/zlib_stream.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace corvid::publish {

namespace {
json pair_json(const host_pair& pair) { return json::array({pair.client, pair.product}); }
host_pair pair_of(const json& pair) { return {pair.at(0).get<std::string>(), pair.at(1).get<std::string>()}; }

template <typename Value>
json optional_json(const std::optional<Value>& value) {
  return value ? json(*value) : json(nullptr);
}

template <typename Value>
std::optional<Value> optional_of(const json& document, const char* key) {
  if (!document.contains(key) || document[key].is_null()) return std::nullopt;
  return document[key].get<Value>();
}

std::optional<fs::path> path_of(const json& document, const char* key) {
  std::optional<std::string> text = optional_of<std::string>(document, key);
  return text ? std::optional<fs::path>(fs::u8path(*text)) : std::nullopt;
}
}  // namespace

bool read_kept(const output_paths& paths, kept_site& kept, std::string& error) {
  kept = kept_site();
  std::error_code code;
  if (!fs::exists(paths.kept, code)) {
    // Published before options were kept: that tree has today's flat layout.
    kept.options.flat = fs::exists(paths.out / "product" / list_file_name, code);
    return true;
  }
  std::string text;
  if (!read_whole_file(paths.kept, text, error)) return false;
  try {
    json document = json::parse(text);
    site_options& site = kept.options;
    kept.serial = document.at("serial").get<unsigned>();
    site.flat = document.at("layout").get<std::string>() == "flat";
    site.keep = document.at("keep").get<unsigned>();
    if (const json& info = document.at("info"); !info.is_null()) {
      site.info_name = info.at("name").get<std::string>();
      site.info.client_host = info.at("client_host").get<std::string>();
      site.info.product_host = info.at("product_host").get<std::string>();
      if (!info.at("header_hosts").is_null()) site.info.header_hosts = pair_of(info["header_hosts"]);
      for (const json& mirror : info.at("mirrors")) site.info.mirrors.push_back(pair_of(mirror));
      site.info.max_patch_mb = optional_of<unsigned>(info, "max_patch_mb");
      site.info.down_lines = info.at("down").get<std::vector<std::string>>();
      site.info.redirect = optional_of<std::string>(info, "redirect");
    }
    site.commands = path_of(document, "commands");
    site.excludes = document.at("excludes").get<std::vector<std::string>>();
    site.exclude_from = path_of(document, "exclude_from");
  } catch (const json::exception& wrong) {
    error = "cannot read the options kept in " + display_path(paths.kept) + ": " + wrong.what() +
            "; mend the file, or remove it and give every option again";
    return false;
  }
  return true;
}

bool write_kept(const output_paths& paths, const kept_site& kept, std::string& error) {
  const site_options& site = kept.options;
  json info = nullptr;
  if (site.info_name) {
    json mirrors = json::array();
    for (const host_pair& mirror : site.info.mirrors) mirrors.push_back(pair_json(mirror));
    info = {{"name", *site.info_name},
            {"client_host", site.info.client_host},
            {"product_host", site.info.product_host},
            {"header_hosts", site.info.header_hosts ? pair_json(*site.info.header_hosts) : json(nullptr)},
            {"mirrors", mirrors},
            {"max_patch_mb", optional_json(site.info.max_patch_mb)},
            {"down", site.info.down_lines},
            {"redirect", optional_json(site.info.redirect)}};
  }
  json document = {{"serial", kept.serial},
                   {"layout", site.flat ? "flat" : "releases"},
                   {"keep", site.keep},
                   {"info", info},
                   {"commands", site.commands ? json(utf8_text(*site.commands)) : json(nullptr)},
                   {"excludes", site.excludes},
                   {"exclude_from", site.exclude_from ? json(utf8_text(*site.exclude_from)) : json(nullptr)}};
  // Written aside and renamed, so that a failed write leaves the kept file as it was.
  return replace_file(paths.kept, document.dump(2, ' ', false, json::error_handler_t::replace) + "\n", error);
}

std::vector<std::string> live_info_names(const fs::path& out) {
  std::vector<std::string> names;
  std::error_code code;
  for (const fs::directory_entry& item : fs::directory_iterator(out, code)) {
    std::string text, ignored;
    if (item.is_regular_file(code) && read_whole_file(item.path(), text, ignored) && text.starts_with("Corvid Patch"))
      names.push_back(item.path().filename().string());
  }
  return names;
}

std::vector<std::string> drop_refusals(const build_options& options, const fs::path& current) {
  std::vector<std::string> refusals;
  auto dropped = [&options](const char* what) {
    return std::find(options.drops.begin(), options.drops.end(), what) != options.drops.end();
  };
  std::error_code code;
  for (const std::string& name : live_info_names(options.out)) {
    if (name != options.site.info_name.value_or("") && !dropped("info"))
      refusals.push_back("this run would drop the server information file " + display_path(options.out / name) +
                         ", which players' update.dat names: give --info " + name + " and its hosts, or --drop info");
  }
  if (!options.client && !dropped("client") && fs::exists(current / "client" / list_file_name, code))
    refusals.push_back("this run would drop the client tree " + display_path(current / "client") +
                       ", from which players update the client: give --client, or --drop client");
  else if (!options.client && !options.site.flat && options.site.info_name)
    refusals.push_back("the server information file " + *options.site.info_name +
                       " sends players to the release's client folder: give --client, or --layout flat");
  fs::path script = current / "product" / command_script_name;
  if (!options.site.commands && !dropped("commands") && fs::exists(script, code))
    refusals.push_back("this run would drop the command script " + display_path(script) +
                       ": give --commands, or --drop commands");
  return refusals;
}

}  // namespace corvid::publish
