#pragma once
// A temporary folder for one test: files written and read by name, removed with
// everything in it at the end. Also the tests' one way to read and write whole files.

#include <filesystem>
#include <string>

namespace corvid {

class install_folder {
 public:
  explicit install_folder(const std::string& label);
  // Inside `parent` instead of the temporary folder.
  install_folder(const std::string& label, const std::filesystem::path& parent);
  // Named after the running test alone: the child process of a death test runs the
  // test again from its start, and so works in its parent's folder.
  static install_folder shared_with_death_tests(const std::string& label);
  ~install_folder();
  install_folder(const install_folder&) = delete;
  install_folder& operator=(const install_folder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;
  // Copies a built program into the folder under `name` (for example "patch.bin").
  void install_program(const std::string& source, const std::string& name) const;
  // Removes a program file as soon as no process runs it any more: a started program
  // may still be ending after its last visible effect. False after ten seconds.
  bool remove_program(const std::string& name) const;

  // A valid "update.dat" naming `location`.
  void write_update_location(const std::string& location) const;

 private:
  struct exact_path {};
  install_folder(exact_path, const std::filesystem::path& path);
  std::filesystem::path path_;
};

// The whole file; empty when it cannot be read.
std::string read_file(const std::filesystem::path& file);
// Replaces the whole file, making its folders; throws when it cannot.
void write_file(const std::filesystem::path& file, const std::string& bytes);
bool file_exists(const std::filesystem::path& file);

}  // namespace corvid
