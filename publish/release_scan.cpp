#include "publish/release_scan.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <system_error>

#include "publish/name_rules.h"
#include "text/format_limits.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {
// The name as listed; holds more than printable ASCII when the platform's name does,
// which name_refusal then reports.
std::string listed_name(const fs::path& relative) {
  std::u8string text = relative.generic_u8string();
  return std::string(text.begin(), text.end());
}

void refuse(std::vector<std::string>& problems, const fs::path& path, const std::string& why) {
  problems.push_back(display_path(path) + ": " + why);
}

void check_letter_case_clashes(const std::vector<release_file>& files, std::vector<std::string>& problems) {
  std::map<std::string, const release_file*> by_lower;
  for (const release_file& file : files) {
    auto [at, fresh] = by_lower.emplace(lower_case(file.name), &file);
    if (!fresh)
      refuse(problems, file.path,
             "differs only in letter case from " + display_path(at->second->path) +
                 "; the client installs both under one name");
  }
  // The client writes every name lower-cased, so a file "a" and a folder "A" collide.
  for (const release_file& file : files) {
    std::string lower = lower_case(file.name);
    for (std::size_t slash = lower.find('/'); slash != std::string::npos; slash = lower.find('/', slash + 1)) {
      auto clash = by_lower.find(lower.substr(0, slash));
      if (clash != by_lower.end())
        refuse(problems, file.path,
               "lies in a folder whose name is also the file " + display_path(clash->second->path) +
                   " when letter case is ignored");
    }
  }
}

// Why a file found in the release cannot be listed, empty when it can; its size and time.
std::string file_refusal(release_file& file) {
  std::string why = name_refusal(file.name);
  if (!why.empty()) return why;
  if (is_client_scratch_name(lower_case(file.name)))
    return "is a name the client uses for its own files in the installation folder";
  if (!read_identity(file.path, file.identity)) return "cannot be read: " + system_reason(errno);
  file.size = file.identity.size;
  std::int64_t nanoseconds = file.identity.modified_ns;
  file.modified = nanoseconds / 1000000000 - (nanoseconds % 1000000000 < 0 ? 1 : 0);
  return file.size > 0xFFFFFFFFull ? "is 4 GiB or larger; the client counts sizes in 32 bits" : "";
}

// A link to a file publishes that file's content; one that leads out of the release
// may publish what was never meant to be, so it is pointed out.
std::string link_refusal(const fs::directory_entry& item, const fs::path& real_root,
                         std::vector<std::string>& warnings) {
  std::error_code error;
  fs::path target = fs::read_symlink(item.path(), error);
  fs::file_status status = item.status(error);
  if (!fs::exists(status)) return "is a link to " + display_path(target) + ", which does not exist";
  if (fs::is_directory(status)) return "is a link to a folder; copy the folder into the release";
  fs::path real = fs::weakly_canonical(item.path(), error);
  if (!is_within(real, real_root))
    warnings.push_back(display_path(item.path()) + " is a link to " + display_path(real) +
                       ", outside the release; that file's content is published");
  return {};
}

bool is_excluded(const std::string& name, const std::vector<std::string>& excludes) {
  std::string_view own = std::string_view(name).substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
  for (std::string_view pattern : excludes) {
    if (pattern.find('/') == std::string_view::npos) {
      if (wildcard_match(pattern, own, false)) return true;
      continue;
    }
    if (pattern.front() == '/') pattern.remove_prefix(1);
    if (!pattern.empty() && pattern.back() == '/') pattern.remove_suffix(1);
    if (wildcard_match(pattern, name, false)) return true;
  }
  return false;
}
}  // namespace

bool scan_release(const fs::path& root, const std::vector<std::string>& excludes, std::vector<release_file>& files,
                  std::vector<std::string>& problems, std::vector<std::string>& warnings) {
  std::size_t problems_before = problems.size(), tools_files = 0;
  std::error_code code;
  fs::path real_root = fs::weakly_canonical(fs::absolute(root), code);
  // Folder by folder, so that a folder that cannot be read is named itself.
  std::vector<fs::path> folders{root};
  while (!folders.empty()) {
    fs::path folder = std::move(folders.back());
    folders.pop_back();
    fs::directory_iterator items(folder, code), end;
    if (code) {
      refuse(problems, folder, "cannot be read: " + code.message());
      continue;
    }
    for (; items != end; items.increment(code)) {
      std::error_code ignored;
      release_file file;
      file.name = listed_name(items->path().lexically_relative(root));
      file.path = items->path();
      if (is_excluded(file.name, excludes)) continue;
      // Other tools' files, never the game's.
      if (is_excluded(file.name, {".git", ".DS_Store", "Thumbs.db"}) && ++tools_files) continue;
      std::string why = items->is_symlink(ignored) ? link_refusal(*items, real_root, warnings) : "";
      if (why.empty() && items->is_directory(ignored)) {
        folders.push_back(items->path());
        continue;
      }
      if (why.empty()) why = items->is_regular_file(ignored) ? file_refusal(file) : "is neither a file nor a folder";
      if (why.empty()) {
        files.push_back(std::move(file));
      } else {
        refuse(problems, items->path(), why);
      }
    }
    if (code) refuse(problems, folder, "cannot be read completely: " + code.message());
  }
  if (tools_files)
    warnings.push_back("left out " + std::to_string(tools_files) + " item(s) of " + display_path(root) +
                       " named .git, .DS_Store or Thumbs.db");
  std::sort(files.begin(), files.end(),
            [](const release_file& a, const release_file& b) { return lower_case(a.name) < lower_case(b.name); });
  check_letter_case_clashes(files, problems);
  if (files.size() > static_cast<std::size_t>(max_listed_files))
    refuse(problems, root, "holds " + std::to_string(files.size()) + " files; the client lists at most 7500");
  if (files.empty() && problems.size() == problems_before)
    refuse(problems, root, "holds no files; the client refuses an empty list");
  return problems.size() == problems_before;
}

}  // namespace corvid::publish
