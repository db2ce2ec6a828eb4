#pragma once
// What the patch tests share: a temporary installation folder that is the working
// directory for one test, with a chosen time zone, and the ways to make listed files.

#include <cstdint>
#include <string>

#include "tests/support/client_test.h"

namespace corvid {

class patch_test : public client_test {
 protected:
  patch_test();

  // Sets TZ for the C runtime, and the file-time bias that start-up finds in that zone.
  static void use_time_zone(const char* zone, std::int32_t file_time_bias);

  void write(const std::string& name, const std::string& bytes) const { folder_.write(name, bytes); }
  std::string read(const std::string& name) const { return folder_.read(name); }
  bool exists(const std::string& name) const { return folder_.exists(name); }
  std::string installation() const;
};

std::string packed(const std::string& bytes);
// Bytes that zlib shrinks only a little, the same every time.
std::string varied_bytes(std::size_t count);
std::uint32_t crc_of(const std::string& bytes);

// The modification time a file gets when it is stamped with the listed `time`.
std::int64_t stamped_time_of(std::uint32_t time);
std::int64_t modification_time(const std::string& name);
void set_modification_time(const std::string& name, std::int64_t utc_seconds);

// "size,packed,crc,time,name" for `bytes` as the file's content.
std::string entry_line_for(const std::string& name, const std::string& bytes, std::uint32_t time);

// Holds a file open with no sharing, so that any attempt to read it fails.
class locked_file {
 public:
  explicit locked_file(const std::string& name);
  ~locked_file();

 private:
  void* handle_;
};

}  // namespace corvid
