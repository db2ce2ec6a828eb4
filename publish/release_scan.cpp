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

std::int64_t whole_seconds(std::int64_t nanoseconds) {
  std::int64_t seconds = nanoseconds / 1000000000;
  return nanoseconds % 1000000000 < 0 ? seconds - 1 : seconds;
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

class release_walk {
 public:
  release_walk(const fs::path& root, const std::vector<std::string>& excludes, std::vector<release_file>& files,
               std::vector<std::string>& problems, std::vector<std::string>& warnings)
      : root_(root), excludes_(excludes), files_(files), problems_(problems), warnings_(warnings) {
    std::error_code ignored;
    real_root_ = fs::weakly_canonical(fs::absolute(root), ignored);
  }

  // Folder by folder, so that a folder that cannot be read is named itself.
  void run() {
    std::vector<fs::path> folders{root_};
    while (!folders.empty()) {
      fs::path folder = std::move(folders.back());
      folders.pop_back();
      std::error_code error;
      fs::directory_iterator items(folder, error), end;
      if (error) {
        refuse(problems_, folder, "cannot be read: " + error.message());
        continue;
      }
      for (; items != end; items.increment(error)) {
        take(*items, folders);
      }
      if (error) refuse(problems_, folder, "cannot be read completely: " + error.message());
    }
  }

 private:
  void take(const fs::directory_entry& item, std::vector<fs::path>& folders) {
    std::string name = listed_name(item.path().lexically_relative(root_));
    if (is_excluded(name, excludes_)) return;
    std::error_code error;
    if (item.is_symlink(error) && !link_is_usable(item)) return;
    if (item.is_directory(error)) {
      folders.push_back(item.path());
      return;
    }
    if (!item.is_regular_file(error)) {
      refuse(problems_, item.path(), "is neither a file nor a folder");
      return;
    }
    release_file file;
    file.path = item.path();
    file.name = name;
    std::string why = name_refusal(file.name);
    if (!why.empty()) {
      refuse(problems_, file.path, why);
      return;
    }
    if (is_client_scratch_name(lower_case(file.name))) {
      refuse(problems_, file.path, "is a name the client uses for its own files in the installation folder");
      return;
    }
    if (!read_identity(file.path, file.identity)) {
      refuse(problems_, file.path, "cannot be read: " + system_reason(errno));
      return;
    }
    file.size = file.identity.size;
    file.modified = whole_seconds(file.identity.modified_ns);
    if (file.size > 0xFFFFFFFFull) {
      refuse(problems_, file.path, "is 4 GiB or larger; the client counts sizes in 32 bits");
      return;
    }
    files_.push_back(std::move(file));
  }

  // A link to a file publishes that file's content; one that leads out of the release
  // may publish what was never meant to be, so it is pointed out.
  bool link_is_usable(const fs::directory_entry& item) {
    std::error_code error;
    fs::path target = fs::read_symlink(item.path(), error);
    fs::file_status status = item.status(error);
    if (!fs::exists(status)) {
      refuse(problems_, item.path(), "is a link to " + display_path(target) + ", which does not exist");
      return false;
    }
    if (fs::is_directory(status)) {
      refuse(problems_, item.path(), "is a link to a folder; copy the folder into the release");
      return false;
    }
    fs::path real = fs::weakly_canonical(item.path(), error);
    if (!is_within(real, real_root_))
      warnings_.push_back(display_path(item.path()) + " is a link to " + display_path(real) +
                          ", outside the release; that file's content is published");
    return true;
  }

  const fs::path& root_;
  const std::vector<std::string>& excludes_;
  std::vector<release_file>& files_;
  std::vector<std::string>& problems_;
  std::vector<std::string>& warnings_;
  fs::path real_root_;
};
}  // namespace

bool is_excluded(const std::string& name, const std::vector<std::string>& excludes) {
  std::string_view own = name;
  own.remove_prefix(own.rfind('/') == std::string_view::npos ? 0 : own.rfind('/') + 1);
  for (std::string_view pattern : excludes) {
    if (pattern.find('/') == std::string_view::npos) {
      if (wildcard_match(pattern, own, false)) return true;
    } else {
      if (pattern.front() == '/') pattern.remove_prefix(1);
      if (!pattern.empty() && pattern.back() == '/') pattern.remove_suffix(1);
      if (wildcard_match(pattern, name, false)) return true;
    }
  }
  return false;
}

bool scan_release(const fs::path& root, const std::vector<std::string>& excludes, std::vector<release_file>& files,
                  std::vector<std::string>& problems, std::vector<std::string>& warnings) {
  std::size_t problems_before = problems.size();
  release_walk(root, excludes, files, problems, warnings).run();
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
