#include "net/download.h"

#include <cstring>
#include <string_view>

#include "core/shutdown.h"
#include "net/directories.h"
#include "net/transfer.h"

namespace corvid {

namespace {

constexpr DWORD_PTR request_context = 32;
constexpr DWORD hidden_attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY;

// The body into the target file, up to its bound.
class file_sink final : public byte_sink {
 public:
  file_sink(HANDLE file, const download_request& request, std::uint32_t bound)
      : file_(file), request_(request), bound_(bound) {}

  bool take(const unsigned char* bytes, std::size_t length) override {
    DWORD written = 0;
    if (!WriteFile(file_, bytes, static_cast<DWORD>(length), &written, nullptr) || written != length) {
      write_failed = true;
      return false;
    }
    bytes_written += written;
    if (bytes_written > bound_) {
      too_long = true;
      return false;
    }
    if (request_.expected_size != 0 && request_.progress_callback != nullptr) request_.progress_callback(0);
    return true;
  }

  std::uint32_t bytes_written = 0;
  bool write_failed = false;
  bool too_long = false;

 private:
  HANDLE file_;
  const download_request& request_;
  std::uint32_t bound_;
};

}  // namespace

bool compose_download_url(url_text& url, const char* host, const char* file_name) {
  return url.format("http://%s/%s", host, file_name);
}

bool download_to_file(download_request request) {
  // Refused rather than cut: a cut URL or path names another place than the one asked.
  if (std::strlen(request.url) > longest_url) return fail(download_cannot_open_url);

  internet_handle request_handle = open_request(request.url, request_context);
  if (!request_handle) return fail(download_cannot_open_url);

  std::string_view local_path(request.local_path);
  std::string_view directory = directory_part(local_path);
  if (directory.size() > longest_path) return fail(download_cannot_make_directory);
  if (local_path.size() > longest_path) return fail(download_cannot_create_file);
  if (!directory.empty()) {
    path_text directory_text(directory);
    if (!directory_exists(directory_text.c_str()) && !create_directory_path(directory_text.c_str())) {
      return fail(download_cannot_make_directory);
    }
  }

  kernel_handle file(CreateFileA(request.local_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 request.hidden ? hidden_attributes : 0, nullptr));
  bool overwritten = GetLastError() == ERROR_ALREADY_EXISTS;
  if (!file) return fail(download_cannot_create_file);
  // Windows gives a file it overwrites the attributes asked for; Wine keeps the old
  // ones, and a stale manifest fetched again would then not be hidden.
  if (overwritten && request.hidden) SetFileAttributesA(request.local_path, hidden_attributes);

  // An unstated size is bounded too; a stated one is known to be wrong as soon as the
  // body runs past it.
  file_sink sink(file.get(), request, request.expected_size != 0 ? request.expected_size : unsized_download_limit);
  if (read_body(request_handle.get(), sink, file, request_handle) == body_end::read_failed) {
    return fail(download_read_failed);
  }
  if (sink.write_failed) return fail(download_write_failed);
  request_handle.reset();
  file.reset();

  if (request.expected_size == 0 && !sink.too_long) return true;
  if (!sink.too_long && sink.bytes_written == request.expected_size && !state.cancel_flag) return true;
  DeleteFileA(request.local_path);
  return fail(download_wrong_size);
}

bool download_from_host(const char* host, const char* file_name, bool hidden) {
  url_text url;
  if (!compose_download_url(url, host, file_name)) return fail(download_cannot_open_url);
  download_request request;
  request.url = url.c_str();
  request.local_path = file_name;
  request.hidden = hidden;
  return download_to_file(request);
}

bool fetch_client_list_or_patch_header(const char* host) { return download_from_host(host, server_scratch_file, true); }

bool fetch_command_script(const char* host) { return download_from_host(host, command_script_file, true); }

}  // namespace corvid
