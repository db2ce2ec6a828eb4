#include "publish/release_folders.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "publish/platform.h"
#include "publish/server_info.h"
#include "publish/zlib_stream.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
// Decimal from 1, without leading zeros, so that one release has one name.
std::optional<unsigned> serial_of_name(std::string_view name) {
  unsigned serial = 0;
  const char* end = name.data() + name.size();
  if (name.empty() || name.size() > 9 || name.front() == '0' || std::from_chars(name.data(), end, serial).ptr != end)
    return std::nullopt;
  return serial;
}

// "LOC/releases/N/TREE": where release N's tree is served when `site` is where --out is.
std::string release_location(std::string_view site, unsigned serial, std::string_view tree) {
  return std::string(site) + "/" + releases_folder + "/" + std::to_string(serial) + "/" + std::string(tree);
}
}  // namespace

std::vector<unsigned> release_serials(const fs::path& out) {
  std::vector<unsigned> serials;
  std::error_code code;
  for (const fs::directory_entry& item : fs::directory_iterator(out / releases_folder, code)) {
    std::optional<unsigned> serial = serial_of_name(item.path().filename().string());
    if (serial && item.is_directory(code)) serials.push_back(*serial);
  }
  std::sort(serials.begin(), serials.end());
  return serials;
}

unsigned next_serial(const fs::path& out, unsigned kept_serial) {
  std::vector<unsigned> serials = release_serials(out);
  return std::max(kept_serial, serials.empty() ? 0u : serials.back()) + 1;
}

fs::path release_folder(const fs::path& out, unsigned serial) { return out / releases_folder / std::to_string(serial); }

std::optional<unsigned> serial_of_location(std::string_view location) {
  std::size_t tree = location.rfind('/');
  if (tree == std::string_view::npos) return std::nullopt;
  std::size_t serial = location.rfind('/', tree - 1);
  if (serial == std::string_view::npos || serial == 0) return std::nullopt;
  std::string_view folder = location.substr(0, serial);
  if (!folder.ends_with(std::string("/") + releases_folder)) return std::nullopt;
  return serial_of_name(location.substr(serial + 1, tree - serial - 1));
}

server_info_settings pointing_at(server_info_settings sites, unsigned serial) {
  auto point = [serial](std::string& client, std::string& product) {
    client = release_location(client, serial, "client");
    product = release_location(product, serial, "product");
  };
  point(sites.client_host, sites.product_host);
  if (sites.header_hosts) point(sites.header_hosts->client, sites.header_hosts->product);
  for (host_pair& mirror : sites.mirrors) point(mirror.client, mirror.product);
  return sites;
}

published_release current_release(const fs::path& out, bool flat, const std::optional<std::string>& info_name) {
  published_release release{0, out, std::nullopt};
  std::error_code code;
  if (info_name && fs::is_regular_file(out / *info_name, code)) release.pointer = out / *info_name;
  std::vector<unsigned> serials = flat ? std::vector<unsigned>() : release_serials(out);
  if (serials.empty()) return release;
  release.serial = serials.back();
  std::string text, ignored;
  server_info named;
  std::vector<std::string> problems;
  if (release.pointer && read_whole_file(*release.pointer, text, ignored)) {
    check_server_info_text(text, problems, &named);
    std::optional<unsigned> serial = serial_of_location(named.product_host.view());
    if (serial && std::binary_search(serials.begin(), serials.end(), *serial)) release.serial = *serial;
  }
  release.folder = release_folder(out, release.serial);
  return release;
}

bool replace_file(const fs::path& file, std::string_view text, std::string& error) {
  // Appended, not concatenated: GCC 12's -Wrestrict misreads `"." + string` on i686.
  std::string name = ".";
  name += file.filename().string();
  name += ".new";
  fs::path fresh = file.parent_path() / name;
  if (!write_whole_file(fresh, text, error)) return false;
  std::error_code code;
  fs::permissions(fresh, fs::perms(0644), code);
  fs::rename(fresh, file, code);
  if (!code) return true;
  error = cannot("replace", file, code);
  fs::remove(fresh, code);
  return false;
}

bool install_release(const fs::path& staging, const fs::path& out, unsigned serial,
                     const std::optional<std::string>& info_name, std::string_view info_text, std::string& error) {
  fs::path folder = release_folder(out, serial);
  std::error_code code;
  fs::create_directories(folder.parent_path(), code);
  if (!code) fs::permissions(folder.parent_path(), fs::perms(0755), code);
  if (!code && fs::exists(folder, code)) code = std::make_error_code(std::errc::file_exists);
  if (!code) fs::rename(staging, folder, code);
  if (code) {
    error = cannot("move the new release to", folder, code);
    return false;
  }
  return !info_name || replace_file(out / *info_name, info_text, error);
}

void prune_releases(const fs::path& out, unsigned keep, unsigned current, std::vector<unsigned>& removed,
                    std::vector<std::string>& errors) {
  std::vector<unsigned> serials = release_serials(out);
  for (std::size_t i = 0; i + keep < serials.size(); ++i) {
    if (serials[i] == current) continue;
    std::error_code code;
    fs::remove_all(release_folder(out, serials[i]), code);
    if (code)
      errors.push_back(cannot("remove", release_folder(out, serials[i]), code));
    else
      removed.push_back(serials[i]);
  }
}

}  // namespace corvid::publish
