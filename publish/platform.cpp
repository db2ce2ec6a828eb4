#include "publish/platform.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/locking.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace corvid::publish {

std::string system_reason(int error_number) { return std::generic_category().message(error_number); }

std::string cannot(const char* what, const fs::path& path, int error_number) {
  return cannot(what, path, std::error_code(error_number, std::generic_category()));
}

std::string cannot(const char* what, const fs::path& path, const std::error_code& code) {
  return std::string("cannot ") + what + " " + display_path(path) + ": " + code.message();
}

std::string utf8_text(const fs::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string escaped(std::string_view text) {
  std::string shown;
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7F) {
      shown += c;
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(u));
    shown += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : escape;
  }
  return shown;
}

std::string display_path(const fs::path& path) { return escaped(utf8_text(path)); }

namespace {
// Why the lock file cannot be opened, naming the folder that is to hold it when that
// folder is the reason.
std::string lock_refusal(const fs::path& lock_file, int reason) {
  fs::path folder = lock_file.parent_path();
  if (reason == ENOENT) return "the folder " + display_path(folder) + ", which is to hold --out, does not exist";
  if (reason == EACCES || reason == EROFS || reason == EPERM) return cannot("write in", folder, reason);
  return cannot("open", lock_file, reason);
}
}  // namespace

bool is_within(const fs::path& inner, const fs::path& outer) {
  auto [mismatch, unused] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return mismatch == outer.end();
}

namespace {
std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free flag");

extern "C" void note_signal(int number) { caught.store(number); }
}  // namespace

void watch_interrupts() {
  for (int number : {SIGINT, SIGTERM}) std::signal(number, note_signal);
#ifdef SIGHUP
  std::signal(SIGHUP, note_signal);
#endif
}

bool interrupted() { return caught.load() != 0; }

int interrupted_exit_code() { return 128 + caught.load(); }

unsigned processor_count() {
#ifndef _WIN32
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
  unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}

#ifdef _WIN32

namespace {
// The pid is written at the start of the lock file and the lock covers a byte past
// it: Windows' locks are binding, and a waiting run must still read who holds it.
constexpr long locked_byte = 64;
}  // namespace

stdio_file open_file(const fs::path& path, const char* mode) {
  std::wstring wide_mode(mode, mode + std::strlen(mode));
  return stdio_file(_wfopen(path.c_str(), wide_mode.c_str()));
}

bool read_identity(const fs::path& path, file_identity& identity) {
  struct _stat64 status;
  if (_wstat64(path.c_str(), &status) != 0) return false;
  identity.size = static_cast<std::uint64_t>(status.st_size);
  identity.modified_ns = static_cast<std::int64_t>(status.st_mtime) * 1000000000;
  identity.changed_ns = static_cast<std::int64_t>(status.st_ctime) * 1000000000;
  identity.inode = status.st_ino;
  identity.device = static_cast<std::uint64_t>(status.st_dev);
  return true;
}

folder_lock::~folder_lock() {
  if (descriptor_ < 0) return;
  _close(descriptor_);
  // Fails, and leaves the file, while another run has it open: Windows shares no delete.
  _wunlink(file_.c_str());
}

bool folder_lock::acquire(const fs::path& lock_file, long& holder, std::string& error) {
  holder = 0;
  int descriptor = -1;
  if (_wsopen_s(&descriptor, lock_file.c_str(), _O_RDWR | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYNO,
                _S_IREAD | _S_IWRITE) != 0) {
    error = lock_refusal(lock_file, errno);
    return false;
  }
  _lseek(descriptor, locked_byte, SEEK_SET);
  if (_locking(descriptor, _LK_NBLCK, 1) != 0) {
    char text[32] = {};
    _lseek(descriptor, 0, SEEK_SET);
    if (_read(descriptor, text, sizeof text - 1) > 0) holder = std::strtol(text, nullptr, 10);
    _close(descriptor);
    return false;
  }
  std::string pid = std::to_string(_getpid()) + "\n";
  _lseek(descriptor, 0, SEEK_SET);
  _write(descriptor, pid.data(), static_cast<unsigned>(pid.size()));
  descriptor_ = descriptor;
  file_ = lock_file;
  return true;
}

int run_program(const std::vector<std::string>&, std::string& error) {
  error = "running other programs needs the Linux build of corvid-publish";
  return -1;
}

bool exchange_folders(const fs::path&, const fs::path&) {
  errno = ENOSYS;
  return false;
}

long machine_standard_utc_offset() {
  _tzset();
  return -_timezone;
}

bool is_terminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

#else

stdio_file open_file(const fs::path& path, const char* mode) { return stdio_file(std::fopen(path.c_str(), mode)); }

bool read_identity(const fs::path& path, file_identity& identity) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return false;
  identity.size = static_cast<std::uint64_t>(status.st_size);
  identity.modified_ns = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  identity.changed_ns = static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
  identity.inode = status.st_ino;
  identity.device = status.st_dev;
  return true;
}

folder_lock::~folder_lock() {
  if (descriptor_ < 0) return;
  // Removed while still held: a run that opened it meanwhile finds it gone and tries again.
  unlink(file_.c_str());
  close(descriptor_);
}

bool folder_lock::acquire(const fs::path& lock_file, long& holder, std::string& error) {
  holder = 0;
  int descriptor = -1;
  for (;;) {
    descriptor = open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) {
      error = lock_refusal(lock_file, errno);
      return false;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
      int reason = errno;
      char text[32] = {};
      if (reason != EWOULDBLOCK) {
        error = cannot("lock", lock_file, reason);
      } else if (pread(descriptor, text, sizeof text - 1, 0) > 0) {
        holder = std::strtol(text, nullptr, 10);
      }
      close(descriptor);
      return false;
    }
    // The holder removes the file as it ends: a lock taken on a file that is no longer
    // at that name holds nothing.
    struct stat held, named;
    if (fstat(descriptor, &held) == 0 && stat(lock_file.c_str(), &named) == 0 && named.st_ino == held.st_ino &&
        named.st_dev == held.st_dev)
      break;
    close(descriptor);
  }
  // Only a note for a run that finds the lock taken; the lock holds without it.
  std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(descriptor, 0) == 0 && pwrite(descriptor, pid.data(), pid.size(), 0) < 0) pid.clear();
  descriptor_ = descriptor;
  file_ = lock_file;
  return true;
}

int run_program(const std::vector<std::string>& arguments, std::string& error) {
  std::vector<char*> words;
  for (const std::string& word : arguments) words.push_back(const_cast<char*>(word.c_str()));
  words.push_back(nullptr);
  pid_t child = 0;
  int reason = posix_spawnp(&child, words[0], nullptr, nullptr, words.data(), environ);
  int status = 0;
  if (reason == 0 && waitpid(child, &status, 0) < 0) reason = errno;
  if (reason != 0) {
    error = "cannot run " + arguments[0] + ": " + system_reason(reason);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool exchange_folders(const fs::path& a, const fs::path& b) {
  return renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

long machine_standard_utc_offset() {
  tzset();
  // POSIX keeps the standard offset here, west-positive, whatever the season.
  return -timezone;
}

bool is_terminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

#endif

}  // namespace corvid::publish
