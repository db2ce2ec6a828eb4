#include "tests/support/install_folder.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace corvid {

namespace fs = std::filesystem;

namespace {

long own_process_id() {
#ifdef _WIN32
  return _getpid();
#else
  return static_cast<long>(getpid());
#endif
}

fs::path fresh(const fs::path& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
  fs::create_directories(path);
  return path;
}

}  // namespace

install_folder::install_folder(const std::string& label) : install_folder(label, fs::temp_directory_path()) {}

install_folder::install_folder(const std::string& label, const fs::path& parent) {
  static int counter = 0;
  path_ =
      fresh(parent / ("corvid_" + label + "_" + std::to_string(own_process_id()) + "_" + std::to_string(++counter)));
}

install_folder::install_folder(exact_path, const fs::path& path) : path_(fresh(path)) {}

install_folder install_folder::shared_with_death_tests(const std::string& label) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = test != nullptr ? std::string(test->test_suite_name()) + "_" + test->name() : "outside_a_test";
  return install_folder(exact_path{}, fs::temp_directory_path() / ("corvid_" + label + "_" + name));
}

install_folder::~install_folder() {
  std::error_code ignored;
  // Files made read-only by a test would stop the removal.
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

void install_folder::write(const std::string& name, const std::string& bytes) const { write_file(path_ / name, bytes); }

std::string install_folder::read(const std::string& name) const { return read_file(path_ / name); }

bool install_folder::exists(const std::string& name) const { return file_exists(path_ / name); }

void install_folder::install_program(const std::string& source, const std::string& name) const {
  fs::copy_file(source, path_ / name, fs::copy_options::overwrite_existing);
}

bool install_folder::remove_program(const std::string& name) const {
  for (int attempt = 0; attempt < 200; ++attempt) {
    std::error_code in_use;
    fs::remove(path_ / name, in_use);
    if (!in_use) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void install_folder::write_update_location(const std::string& location) const {
  write("update.dat", "Corvid Patch\n" + location + "\n");
}

std::string read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void write_file(const fs::path& file, const std::string& bytes) {
  if (file.has_parent_path()) fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

bool file_exists(const fs::path& file) {
  std::error_code ignored;
  return fs::exists(file, ignored);
}

}  // namespace corvid
