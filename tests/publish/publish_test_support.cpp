#include "publish_test_support.h"

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

temp_folder::temp_folder() {
  std::random_device random;
  path_ = fs::temp_directory_path() / ("corvid-publish-test-" + std::to_string(random()));
  fs::create_directories(path_);
}

temp_folder::~temp_folder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void write_file(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string noise(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(generator());
  return bytes;
}

void set_modified(const fs::path& path, long long seconds) {
  auto system = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
  fs::last_write_time(path, std::chrono::file_clock::from_sys(system));
}

namespace {
std::string shell_quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}
}  // namespace

tool_run run_publish(const std::vector<std::string>& args, const std::string& environment) {
  temp_folder capture;
  std::string command = environment + " " + shell_quoted(CORVID_PUBLISH_EXE);
  for (const std::string& arg : args) command += " " + shell_quoted(arg);
  command += " >" + shell_quoted((capture / "out").string()) + " 2>" + shell_quoted((capture / "err").string());
  int status = std::system(command.c_str());
  tool_run run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = read_file(capture / "out");
  run.err = read_file(capture / "err");
  return run;
}

std::vector<std::pair<std::string, std::string>> snapshot(const fs::path& root) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (item.is_regular_file()) files.emplace_back(item.path().lexically_relative(root).string(), read_file(item.path()));
  }
  std::sort(files.begin(), files.end());
  return files;
}
