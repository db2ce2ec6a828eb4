#include "publish/release_scan.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <system_error>

#include "publish/list_format.h"
#include "publish/name_rules.h"

namespace fs = std::filesystem;

std::string display_path(const fs::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool modification_seconds(const fs::path& path, std::int64_t& seconds) {
  std::error_code error;
  fs::file_time_type written = fs::last_write_time(path, error);
  if (error) return false;
  auto system = std::chrono::file_clock::to_sys(written);
  seconds = std::chrono::floor<std::chrono::seconds>(system).time_since_epoch().count();
  return true;
}

namespace {
// The name as listed; empty when the platform's name holds more than printable ASCII,
// which name_refusal then reports.
std::string listed_name(const fs::path& relative) {
  std::string name;
  for (const fs::path& part : relative) {
    std::u8string text = part.u8string();
    if (!name.empty()) name += '/';
    name.append(text.begin(), text.end());
  }
  return name;
}

void refuse(std::vector<std::string>& problems, const fs::path& path, const std::string& why) {
  problems.push_back(display_path(path) + ": " + why);
}

void check_letter_case_clashes(const std::vector<release_file>& files,
                               std::vector<std::string>& problems) {
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
    for (std::size_t slash = lower.find('/'); slash != std::string::npos;
         slash = lower.find('/', slash + 1)) {
      auto clash = by_lower.find(lower.substr(0, slash));
      if (clash != by_lower.end())
        refuse(problems, file.path,
               "lies in a folder whose name is also the file " +
                   display_path(clash->second->path) + " when letter case is ignored");
    }
  }
}
}  // namespace

bool scan_release(const fs::path& root, std::vector<release_file>& files,
                  std::vector<std::string>& problems) {
  std::size_t problems_before = problems.size();
  std::error_code error;
  fs::recursive_directory_iterator walk(root, error), end;
  if (error) {
    refuse(problems, root, "cannot be read: " + error.message());
    return false;
  }
  for (; walk != end; walk.increment(error)) {
    if (error) break;
    const fs::directory_entry& item = *walk;
    fs::path relative = item.path().lexically_relative(root);
    if (item.is_symlink(error) && item.is_directory(error)) {
      refuse(problems, item.path(), "is a link to a folder; copy the folder into the release");
      walk.disable_recursion_pending();
      continue;
    }
    if (item.is_directory(error)) continue;
    if (!item.is_regular_file(error)) {
      refuse(problems, item.path(), "is neither a file nor a folder");
      continue;
    }
    release_file file;
    file.path = item.path();
    file.name = listed_name(relative);
    std::string why = name_refusal(file.name);
    if (!why.empty()) {
      refuse(problems, file.path, why);
      continue;
    }
    if (is_client_scratch_name(lower_case(file.name))) {
      refuse(problems, file.path, "is a name the client uses for its own files in the installation folder");
      continue;
    }
    file.size = item.file_size(error);
    if (error || !modification_seconds(file.path, file.modified)) {
      refuse(problems, file.path, "cannot be read: " + error.message());
      continue;
    }
    if (file.size > 0xFFFFFFFFull) {
      refuse(problems, file.path, "is 4 GiB or larger; the client counts sizes in 32 bits");
      continue;
    }
    files.push_back(std::move(file));
  }
  if (error) refuse(problems, root, "cannot be read completely: " + error.message());

  std::sort(files.begin(), files.end(), [](const release_file& a, const release_file& b) {
    return lower_case(a.name) < lower_case(b.name);
  });
  check_letter_case_clashes(files, problems);
  if (files.size() > max_list_entries)
    refuse(problems, root,
           "holds " + std::to_string(files.size()) + " files; the client lists at most 7500");
  if (files.empty() && problems.size() == problems_before)
    refuse(problems, root, "holds no files; the client refuses an empty list");
  return problems.size() == problems_before;
}
