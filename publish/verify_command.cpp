#include <cstdio>
#include <set>
#include <system_error>

#include "core/product.h"
#include "publish/command_check.h"
#include "publish/options.h"
#include "publish/list_format.h"
#include "publish/name_rules.h"
#include "publish/platform.h"
#include "publish/server_info.h"
#include "publish/zlib_stream.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
// Problems by path, with the names of every file the trees install, which the command
// script must leave alone.
class problem_list {
 public:
  explicit problem_list(report& out) : out_(out) {}
  void add(const fs::path& where, const std::string& why) { out_.problem(display_path(where), why); }
  std::size_t count() const { return out_.problem_count(); }
  std::vector<std::string> installed;

 private:
  report& out_;
};

void verify_stream(const fs::path& folder, const file_entry& entry, problem_list& problems) {
  fs::path stream = folder / lower_case(entry.name);
  std::error_code code;
  std::uintmax_t length = fs::file_size(stream, code);
  if (code) {
    problems.add(stream, "listed but missing");
    return;
  }
  stream_facts facts{0, length, 0};
  std::string why = stream_mismatch(facts, entry.packed_size, 0, 0);
  if (why.empty() && !inflate_file_facts(stream, facts, why)) {
    problems.add(stream, why);
    return;
  }
  if (why.empty()) why = stream_mismatch(facts, entry.packed_size, entry.size, entry.crc32);
  if (!why.empty()) problems.add(stream, why);
}

void verify_entries(const fs::path& list, const fs::path& folder, const std::vector<file_entry>& entries,
                    problem_list& problems) {
  std::set<std::string> seen;
  for (const file_entry& listed : entries) {
    std::string name(listed.name.view());
    std::string why = name_refusal(name);
    if (why.empty() && is_client_scratch_name(lower_case(name))) why = "the client uses this name for its own files";
    if (why.empty() && !seen.insert(lower_case(name)).second) why = "listed twice when letter case is ignored";
    problems.installed.push_back(name);
    if (!why.empty()) {
      problems.add(list, "entry \"" + name + "\": " + why);
      continue;
    }
    verify_stream(folder, listed, problems);
  }
}

void verify_product(const fs::path& folder, problem_list& problems) {
  fs::path header_path = folder / list_file_name, manifest_path = folder / manifest_file_name;
  std::string header_bytes, packed, text, error;
  file_entry header;
  if (!read_whole_file(header_path, header_bytes, error)) {
    problems.add(header_path, "missing or unreadable: " + error);
    return;
  }
  if (header_bytes.size() != patch_header_size || !decode_patch_header(header_bytes, header)) {
    problems.add(header_path, "is not a 19-byte patch header starting with \"CP~\"");
    return;
  }
  if (!read_whole_file(manifest_path, packed, error)) {
    problems.add(manifest_path, "missing or unreadable: " + error);
    return;
  }
  if (packed.size() != header.packed_size) {
    problems.add(header_path, "gives the manifest's packed size as " + std::to_string(header.packed_size) +
                                  "; gfl.mft is " + std::to_string(packed.size()) + " bytes");
    return;
  }
  if (!uncompress_text(packed, header.size, text)) {
    problems.add(manifest_path,
                 "does not inflate to the " + std::to_string(header.size) + " bytes that cpatch.dat gives");
    return;
  }
  if (crc32_of(text) != header.crc32)
    problems.add(header_path, "gives the manifest's CRC-32 as " + crc_text(header.crc32) + "; its text has " +
                                  crc_text(crc32_of(text)));
  std::vector<file_entry> entries;
  if (!read_list_text(text, entries, error)) {
    problems.add(manifest_path, error);
    return;
  }
  verify_entries(manifest_path, folder, entries, problems);
}

// After both lists, so that it is checked against every name they install.
void verify_command_script(const fs::path& folder, problem_list& problems) {
  fs::path script = folder / command_script_name;
  std::error_code code;
  if (!fs::exists(script, code)) return;
  std::string text, error;
  std::vector<std::string> lines;
  if (!read_whole_file(script, text, error)) {
    problems.add(script, error);
  } else if (!check_command_script(text, problems.installed, lines)) {
    for (const std::string& line : lines) problems.add(script, line);
  }
}

void verify_client(const fs::path& folder, problem_list& problems) {
  fs::path list = folder / list_file_name;
  std::string text, error;
  std::vector<file_entry> entries;
  if (!read_whole_file(list, text, error)) {
    problems.add(list, "missing or unreadable: " + error);
  } else if (!read_list_text(text, entries, error)) {
    problems.add(list, error);
  } else {
    verify_entries(list, folder, entries, problems);
  }
}

void verify_info_files(const fs::path& out, problem_list& problems) {
  std::error_code code;
  for (const fs::directory_entry& item : fs::directory_iterator(out, code)) {
    if (!item.is_regular_file(code)) continue;
    std::string text, error;
    std::vector<std::string> lines;
    if (!read_whole_file(item.path(), text, error)) {
      problems.add(item.path(), error);
    } else if (!check_server_info_text(text, lines)) {
      for (const std::string& line : lines) problems.add(item.path(), line);
    }
  }
}
}  // namespace

int run_verify(const verify_options& options) {
  report out("verify", options.output);
  out.data()["out"] = display_path(options.out);
  problem_list problems(out);
  std::error_code code;
  if (!fs::is_directory(options.out, code)) {
    problems.add(options.out, "is not a folder");
  } else {
    verify_product(options.out / "product", problems);
    if (fs::exists(options.out / "client", code)) verify_client(options.out / "client", problems);
    verify_command_script(options.out / "product", problems);
    verify_info_files(options.out, problems);
  }
  out.data()["files"] = problems.installed.size();
  if (problems.count() != 0) {
    out.error(std::to_string(problems.count()) + " problem(s)");
    return out.finish(exit_refused);
  }
  out.line(display_path(options.out) + ": no problem found");
  return out.finish(exit_done);
}

}  // namespace corvid::publish
