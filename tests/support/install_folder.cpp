#include "tests/support/install_folder.h"

#include <windows.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

install_folder::install_folder(const std::string& label) : install_folder(label, fs::temp_directory_path()) {}

install_folder::install_folder(const std::string& label, const fs::path& parent) {
  static int counter = 0;
  path_ = parent / ("corvid_" + label + "_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter));
  std::error_code ignored;
  fs::remove_all(path_, ignored);
  fs::create_directories(path_);
}

install_folder::~install_folder() {
  std::error_code ignored;
  // Files made read-only by a test would stop the removal.
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  fs::remove_all(path_, ignored);
}

void install_folder::write(const std::string& name, const std::string& bytes) const {
  fs::path file = path_ / name;
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string install_folder::read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool install_folder::exists(const std::string& name) const {
  return fs::exists(path_ / name);
}

void install_folder::install_program(const std::string& source, const std::string& name) const {
  fs::copy_file(source, path_ / name, fs::copy_options::overwrite_existing);
}

void install_folder::write_update_location(const std::string& location) const {
  write("update.dat", "Corvid Patch\n" + location + "\n");
}
