#pragma once
// A temporary installation folder for one test: files written and read by name,
// removed with everything in it at the end.

#include <filesystem>
#include <string>

class install_folder {
 public:
  explicit install_folder(const std::string& label);
  // Inside `parent` instead of the temporary folder.
  install_folder(const std::string& label, const std::filesystem::path& parent);
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

  // A valid "update.dat" naming `location`.
  void write_update_location(const std::string& location) const;

 private:
  std::filesystem::path path_;
};
