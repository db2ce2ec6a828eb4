#include "publish/release_key_file.h"

#include <cerrno>
#include <cstdio>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "publish/platform.h"
#include "publish/zlib_stream.h"
#include "text/line_source.h"

namespace fs = std::filesystem;

namespace corvid::publish {

namespace {

constexpr std::string_view key_file_header = "Corvid Release Key";
constexpr std::string_view public_prefix = "public ecdsa-p256 ";
constexpr std::string_view private_prefix = "private ecdsa-p256 ";

using key_line = fixed_text<256>;

template <std::size_t N>
bool value_line(const key_line& line, std::string_view prefix, std::array<unsigned char, N>& value) {
  return line.view().starts_with(prefix) && parse_hex(line.view().substr(prefix.size()), value);
}

// The header, the public line and, in a private key file, the private line; nothing else.
// Each file is refused where the other is wanted.
bool read_key_file(const fs::path& path, release_key_pair& key, bool want_private, std::string& error) {
  std::string text;
  if (!read_whole_file(path, text, error)) return false;
  line_source lines(text);
  key_line line;
  release_key_pair read;
  bool valid = lines.next(line, long_line::cut) && line == key_file_header && lines.next(line, long_line::cut) &&
               value_line(line, public_prefix, read.public_key);
  bool holds_private = valid && lines.next(line, long_line::cut);
  if (holds_private) valid = value_line(line, private_prefix, read.private_key);
  if (!valid || lines.next(line, long_line::cut)) {
    error = display_path(path) + " is not a key file of corvid-publish keygen";
    return false;
  }
  if (holds_private != want_private) {
    error = display_path(path) + (holds_private ? " holds the private key; give its .pub file"
                                                : " holds only a public key; signing needs the private key file");
    return false;
  }
  key = read;
  return true;
}

// Creates `path` only where nothing is, so that no key is ever replaced; a secret one
// readable by its owner alone.
bool write_new_file(const fs::path& path, std::string_view bytes, bool secret, std::string& error) {
#ifdef _WIN32
  int descriptor = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  stdio_file file(descriptor < 0 ? nullptr : _fdopen(descriptor, "wb"));
#else
  int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, secret ? 0600 : 0644);
  if (descriptor >= 0 && secret && ::fchmod(descriptor, 0600) != 0) {
    ::close(descriptor);
    descriptor = -1;
  }
  stdio_file file(descriptor < 0 ? nullptr : ::fdopen(descriptor, "wb"));
#endif
  if (!file) {
    error = cannot("create", path, errno);
    return false;
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  if (std::fclose(file.release()) != 0 || !written) {
    error = cannot("write", path, errno);
    std::error_code ignored;
    fs::remove(path, ignored);
    return false;
  }
  return true;
}

std::string format_public_key_file(const release_public_key& key) {
  std::string text(key_file_header);
  text.append("\n").append(public_prefix).append(hex_text(key).view()).append("\n");
  return text;
}
}  // namespace

std::string format_private_key_file(const release_key_pair& key) {
  std::string text = format_public_key_file(key.public_key);
  text.append(private_prefix).append(hex_text(key.private_key).view()).append("\n");
  return text;
}

bool read_public_key_file(const fs::path& path, release_public_key& key, std::string& error) {
  release_key_pair read;
  if (!read_key_file(path, read, false, error)) return false;
  key = read.public_key;
  return true;
}

bool read_private_key_file(const fs::path& path, release_key_pair& key, std::string& error) {
  return read_key_file(path, key, true, error);
}

bool write_new_key_files(const fs::path& file, const release_key_pair& key, std::string& error) {
  fs::path public_file = file;
  public_file += ".pub";
  for (const fs::path& path : {file, public_file}) {
    std::error_code status_error;
    if (fs::symlink_status(path, status_error).type() != fs::file_type::not_found) {
      error = display_path(path) + " exists; keygen never replaces a key";
      return false;
    }
  }
  if (!write_new_file(file, format_private_key_file(key), true, error)) return false;
  if (!write_new_file(public_file, format_public_key_file(key.public_key), false, error)) {
    std::error_code ignored;
    fs::remove(file, ignored);
    return false;
  }
  return true;
}

}  // namespace corvid::publish
