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
#include "text/format_limits.h"

namespace fs = std::filesystem;
using nlohmann::json;

// Absent values are written as null.
template <typename Value>
struct nlohmann::adl_serializer<std::optional<Value>> {
  static void to_json(json& document, const std::optional<Value>& value) {
    document = value ? json(*value) : json(nullptr);
  }
  static void from_json(const json& document, std::optional<Value>& value) {
    value = document.is_null() ? std::nullopt : std::optional<Value>(document.get<Value>());
  }
};

namespace corvid {
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(host_pair, client, product)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(server_info_settings, client_host, product_host, header_hosts, mirrors, max_patch_mb,
                                   down_lines, redirect)
}  // namespace corvid

namespace corvid::publish {

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(site_options, flat, keep, info_name, info, commands, excludes, exclude_from)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(kept_site, serial, options)

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
    kept = json::parse(text).get<kept_site>();
  } catch (const json::exception& wrong) {
    error = "cannot read the options kept in " + display_path(paths.kept) + ": " + wrong.what() +
            "; mend the file, or remove it and give every option again";
    return false;
  }
  return true;
}

bool write_kept(const output_paths& paths, const kept_site& kept, std::string& error) {
  // Written aside and renamed, so that a failed write leaves the kept file as it was.
  return replace_file(paths.kept, json(kept).dump(2, ' ', false, json::error_handler_t::replace) + "\n", error);
}

std::vector<std::string> live_info_names(const fs::path& out) {
  std::vector<std::string> names;
  std::error_code code;
  for (const fs::directory_entry& item : fs::directory_iterator(out, code)) {
    std::string text, ignored;
    // A byte order mark does not hide one: verify is to name it.
    bool read = item.is_regular_file(code) && read_whole_file(item.path(), text, ignored);
    std::string_view start = text;
    if (read && (start.starts_with("\xEF\xBB\xBF") ? start.substr(3) : start).starts_with(list_header_text))
      names.push_back(item.path().filename().string());
  }
  return names;
}

std::vector<std::string> drop_refusals(const build_options& options, const fs::path& current) {
  std::vector<std::string> refusals;
  std::error_code code;
  for (const std::string& name : live_info_names(options.out)) {
    if (name != options.site.info_name.value_or("") && !options.dropped("info"))
      refusals.push_back("this run would drop the server information file " + display_path(options.out / name) +
                         ", which players' update.dat names: give --info " + name + " and its hosts, or --drop info");
  }
  if (!options.client && !options.dropped("client") && fs::exists(current / "client" / list_file_name, code))
    refusals.push_back("this run would drop the client tree " + display_path(current / "client") +
                       ", from which players update the client: give --client, or --drop client");
  else if (!options.client && !options.site.flat && options.site.info_name)
    refusals.push_back("the server information file " + *options.site.info_name +
                       " sends players to the release's client folder: give --client, or --layout flat");
  fs::path script = current / "product" / command_script_name;
  if (!options.site.commands && !options.dropped("commands") && fs::exists(script, code))
    refusals.push_back("this run would drop the command script " + display_path(script) +
                       ": give --commands, or --drop commands");
  // Clients built with the release key refuse an unsigned tree: every one of them would
  // stop updating.
  for (const char* tree : {"product", "client"}) {
    fs::path document = current / tree / signed_document_file_name;
    if (options.sign_keys.empty() && !options.dropped("signature") && fs::exists(document, code)) {
      refusals.push_back("this run would replace the signed release " + display_path(current) +
                         " by an unsigned one, which clients built with the release key refuse: give --sign KEY, or "
                         "--drop signature");
      break;
    }
  }
  return refusals;
}

}  // namespace corvid::publish
