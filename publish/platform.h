#pragma once
// What the tool needs from the operating system beyond the standard library: the
// system's reason for a failure, what identifies a file's content, a lock that dies
// with its process, a switch of two folders in one step, whether a person watches,
// the machine's time zone and a request to stop.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/owned_handle.h"

namespace corvid::publish {

// The system's text for an errno value: "Permission denied", "No space left on device".
std::string system_reason(int error_number);

// "cannot read PATH: REASON".
std::string cannot(const char* what, const std::filesystem::path& path, int error_number);
std::string cannot(const char* what, const std::filesystem::path& path, const std::error_code& code);

// A path in UTF-8, whatever the platform's path encoding.
std::string utf8_text(const std::filesystem::path& path);

// Control characters as escapes ("\t", "\x1b"), so that a name cannot move the cursor or
// break a line of what a person reads.
std::string escaped(std::string_view text);

// A path for messages: in UTF-8 and escaped.
std::string display_path(const std::filesystem::path& path);

// Whether `inner` is `outer` or lies below it, component by component.
bool is_within(const std::filesystem::path& inner, const std::filesystem::path& outer);

// fopen that takes any path the platform can name; errno tells why it failed.
stdio_file open_file(const std::filesystem::path& path, const char* mode);

// What changes when a file's content may have changed: a rewrite in place moves the
// times, a replacement by rename brings another inode.
struct file_identity {
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;
  std::uint64_t inode = 0;
  std::uint64_t device = 0;
  bool operator==(const file_identity&) const = default;
};

// Follows links. False with errno set.
bool read_identity(const std::filesystem::path& path, file_identity& identity);

// Held from a successful acquire until it is destroyed, which removes the lock file, or
// until the process ends, however it ends.
class folder_lock {
 public:
  folder_lock() = default;
  ~folder_lock();
  folder_lock(const folder_lock&) = delete;
  folder_lock& operator=(const folder_lock&) = delete;

  // False when another process holds it (`holder` is its process id, 0 when unknown)
  // or the lock file cannot be opened (`error` says why, naming a folder that is
  // missing or cannot be written).
  bool acquire(const std::filesystem::path& lock_file, long& holder, std::string& error);

 private:
  int descriptor_ = -1;
  std::filesystem::path file_;
};

// Runs a program found on the PATH with `arguments` (its name first), its output going
// where this program's goes, and gives its exit code; -1 with why when it cannot start.
int run_program(const std::vector<std::string>& arguments, std::string& error);

// Swaps two existing folders in one step, so that a reader of either path never finds
// it missing. False with errno set; ENOSYS or EINVAL when the file system cannot.
bool exchange_folders(const std::filesystem::path& a, const std::filesystem::path& b);

bool is_terminal(std::FILE* stream);

unsigned processor_count();

// The machine's standard offset, seconds east of UTC, whatever the season.
long machine_standard_utc_offset();

// Ctrl-C, a hang-up or a termination request: long work stops at its next chunk, so
// that the run can remove its unfinished tree before it ends.
void watch_interrupts();
bool interrupted();
// The shell's convention: 128 plus the signal's number (130 for Ctrl-C).
int interrupted_exit_code();

}  // namespace corvid::publish
