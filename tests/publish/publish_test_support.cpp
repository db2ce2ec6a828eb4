#include "publish_test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace corvid {

namespace fs = std::filesystem;

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
  install_folder capture{"publish_capture"};
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
    if (item.is_regular_file())
      files.emplace_back(item.path().lexically_relative(root).string(), read_file(item.path()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

background_publish::background_publish(const std::vector<std::string>& args) {
  std::vector<std::string> words = {CORVID_PUBLISH_EXE};
  words.insert(words.end(), args.begin(), args.end());
  std::string err_path = (capture_ / "err").string();
  pid_ = fork();
  if (pid_ == 0) {
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int nothing = open("/dev/null", O_WRONLY);
    dup2(err, 2);
    dup2(nothing, 1);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
}

background_publish::~background_publish() {
  if (pid_ > 0 && !waited_) {
    kill(pid_, SIGKILL);
    wait();
  }
}

void background_publish::signal(int number) { kill(pid_, number); }

int background_publish::wait() {
  if (!waited_) waitpid(pid_, &status_, 0);
  waited_ = true;
  return status_;
}

std::string background_publish::err() const { return read_file(capture_ / "err"); }

bool wait_for(const fs::path& path) {
  for (int i = 0; i < 40000; ++i) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return false;
}

}  // namespace corvid
