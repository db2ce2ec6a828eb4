// verify --out: a published tree, read as the client reads what it fetches.

#include <map>
#include <optional>
#include <set>
#include <system_error>

#include "core/product.h"
#include "publish/command_check.h"
#include "publish/list_format.h"
#include "publish/name_rules.h"
#include "publish/options.h"
#include "publish/release_document.h"
#include "publish/platform.h"
#include "publish/release_folders.h"
#include "publish/server_info.h"
#include "publish/zlib_stream.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
class tree_check {
 public:
  tree_check(report& out, const std::optional<release_public_key>& key) : out_(out), key_(key) {}

  void product(const fs::path& folder) {
    fs::path header_path = folder / list_file_name, manifest_path = folder / manifest_file_name;
    std::string header_bytes, packed, text, why;
    file_entry header;
    std::vector<file_entry> entries;
    if (!read_whole_file(header_path, header_bytes, why)) return add(header_path, "missing or unreadable: " + why);
    if (header_bytes.size() != patch_header_size || !decode_patch_header(header_bytes, header))
      return add(header_path, "is not a 19-byte patch header starting with \"CP~\"");
    if (!read_whole_file(manifest_path, packed, why)) return add(manifest_path, "missing or unreadable: " + why);
    switch (read_manifest(header, packed, text, entries, why)) {
      case manifest_fault::wrong_packed_size:
        return add(header_path, "gives the manifest's packed size as " + std::to_string(header.packed_size) +
                                    "; gfl.mft is " + std::to_string(packed.size()) + " bytes");
      case manifest_fault::not_inflating:
        return add(manifest_path,
                   "does not inflate to the " + std::to_string(header.size) + " bytes that cpatch.dat gives");
      default: break;
    }
    if (crc32_of(text) != header.crc32)
      add(header_path,
          "gives the manifest's CRC-32 as " + crc_text(header.crc32) + "; its text has " + crc_text(crc32_of(text)));
    if (!why.empty()) return add(manifest_path, why);
    streams(manifest_path, folder, entries, release_tree::product);
  }

  void client(const fs::path& folder) {
    fs::path list = folder / list_file_name;
    std::string text, why;
    std::vector<file_entry> entries;
    if (!read_whole_file(list, text, why)) return add(list, "missing or unreadable: " + why);
    if (!read_list_text(text, entries, why)) return add(list, why);
    streams(list, folder, entries, release_tree::client);
  }

  // After both lists, so that it is checked against every name they install.
  void command_script(const fs::path& script) {
    std::error_code code;
    std::string text, why;
    std::vector<std::string> lines;
    if (!fs::exists(script, code)) return;
    if (!read_whole_file(script, text, why)) return add(script, why);
    check_command_script(text, installed, lines);
    for (const std::string& line : lines) add(script, line);
  }

  // Each names a release folder that --out holds.
  void info_files(const fs::path& out) {
    std::error_code code;
    for (const std::string& name : live_info_names(out)) {
      std::string text, why;
      std::vector<std::string> lines;
      server_info read;
      if (!read_whole_file(out / name, text, why)) add(out / name, why);
      if (why.empty()) check_server_info_text(text, lines, &read);
      std::optional<unsigned> serial = serial_of_location(read.product_host.view());
      if (serial && !fs::is_directory(release_folder(out, *serial), code))
        lines.push_back("names release " + std::to_string(*serial) + ", which " + display_path(out) + " does not hold");
      for (const std::string& line : lines) add(out / name, line);
    }
  }

  void add(const fs::path& where, const std::string& why, const char* code = "wrong", const std::string& group = {}) {
    out_.problem(display_path(where), why, code, group);
  }

  std::vector<std::string> installed;  // by the trees checked so far

 private:
  void streams(const fs::path& list, const fs::path& folder, const std::vector<file_entry>& entries,
               release_tree tree) {
    // With a key, what each stream inflates to must be what the tree's document signs.
    std::optional<std::map<std::string, sha256_digest>> signed_files;
    std::string error;
    if (key_ && !check_signed_tree(served_from(folder), tree, *key_, signed_files.emplace(), error)) {
      add(folder / signed_document_file_name, error, "signature");
      signed_files.reset();
    }
    std::set<std::string> seen;
    std::string where = display_path(folder);
    for (const file_entry& entry : entries) {
      std::string name(entry.name.view());
      std::string why = name_refusal(name);
      if (why.empty() && is_client_scratch_name(lower_case(name))) why = "the client uses this name for its own files";
      if (why.empty() && !seen.insert(lower_case(name)).second) why = "listed twice when letter case is ignored";
      installed.push_back(name);
      if (!why.empty()) {
        add(list, "entry \"" + name + "\": " + why);
        continue;
      }
      fs::path stream = folder / lower_case(name);
      const sha256_digest* digest = nullptr;
      if (signed_files) {
        auto found = signed_files->find(lower_case(name));
        if (found == signed_files->end()) {
          add(stream, "is listed, but the signed document does not give it", "signature",
              where + ": file(s) the signed document does not give");
          continue;
        }
        digest = &found->second;
      }
      why = stream_file_problem(stream, entry, digest);
      if (why.empty()) continue;
      if (why == "listed but missing")
        add(stream, why, "missing", where + ": file(s) missing");
      else if (why.find("signed document") != std::string::npos)
        add(stream, why, "signature", where + ": file(s) that are not the bytes signed");
      else
        add(stream, why, "stream", where + ": file(s) that are not the stream listed");
    }
  }

  report& out_;
  const std::optional<release_public_key>& key_;
};
}  // namespace

int run_verify(const verify_options& options) {
  report out("verify", options.output);
  out.data()["out"] = display_path(options.out);
  std::optional<release_public_key> key;
  std::string error;
  if (options.key && !read_public_key_file(*options.key, key.emplace(), error)) {
    out.problem(display_path(*options.key), error);
    key.reset();
  }
  tree_check check(out, key);
  std::size_t files = 0;
  std::error_code code;
  if (!fs::is_directory(options.out, code)) {
    check.add(options.out, "is not a folder");
  } else {
    // Every release kept is read by some player; today's layout keeps one at the top.
    std::vector<fs::path> releases;
    if (fs::exists(options.out / "product", code) || !fs::exists(options.out / releases_folder, code))
      releases.push_back(options.out);
    for (unsigned serial : release_serials(options.out)) releases.push_back(release_folder(options.out, serial));
    for (const fs::path& folder : releases) {
      files += check.installed.size();
      check.installed.clear();
      check.product(folder / "product");
      if (fs::exists(folder / "client", code)) check.client(folder / "client");
      check.command_script(folder / "product" / command_script_name);
    }
    check.info_files(options.out);
  }
  out.data()["files"] = files + check.installed.size();
  if (out.problem_count() != 0) {
    out.error(std::to_string(out.problem_count()) + " problem(s)");
    return out.finish(exit_refused);
  }
  out.line(display_path(options.out) + ": no problem found");
  return out.finish(exit_done);
}

}  // namespace corvid::publish
