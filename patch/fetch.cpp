#include "patch/fetch.h"

#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#include <mmsystem.h>

#include <string_view>

#include "platform/handles.h"
#include "core/message_pump.h"
#include "net/directories.h"
#include "net/transfer.h"
#include "net/transfer_progress.h"
#include "patch/inflating_writer.h"
#include "patch/install_log.h"
#include "patch/local_files.h"
#include "patch/release_verification.h"
#include "patch/scratch_copy.h"
#include "text/lower_case.h"
#include "text/paths.h"

namespace corvid {

namespace {

// The body into the writer and the progress counters. The body has its room and no more:
// a longer one is wrong, however long it is.
class fetch_sink final : public byte_sink {
 public:
  fetch_sink(inflating_writer& writer, HANDLE file, const file_entry& entry, progress_callback_type progress_callback)
      : writer_(writer), file_(file), entry_(entry), progress_callback_(progress_callback) {}

  bool take(const unsigned char* bytes, std::size_t length) override {
    if (length > entry_.packed_size - received) return false;
    writer_.feed(file_, bytes, length);
    received += static_cast<std::uint32_t>(length);
    state.progress.file_bytes_done += static_cast<std::uint32_t>(length);
    state.progress.overall_bytes_done += static_cast<std::uint32_t>(length);
    if (progress_callback_ != nullptr) progress_callback_(0);
    return true;
  }

  std::uint32_t received = 0;

 private:
  inflating_writer& writer_;
  HANDLE file_;
  const file_entry& entry_;
  progress_callback_type progress_callback_;
};

// "label installation-folder\part", with backslashes throughout.
void log_installed(const char* label, std::string_view part) {
  fixed_text<1024> line;
  line.format("%s%s\\%.*s\n", label, state.installation_directory.c_str(), static_cast<int>(part.size()), part.data());
  slashes_to_backslashes(line.buffer());
  add_install_log_line(line.c_str());
}

void show_getting_line(std::string_view file) {
  const char* pattern = template_of(message::getting_file);
  fixed_text<256> base(file);
  fixed_text<1024> line;
  line.format(pattern, base.c_str());
  shown_progress().status_line_1(line.c_str());
  shown_progress().file_bar(0);
}

// Picks the host of each file: one fixed host, or the mirrors in turn.
struct host_choice {
  const char* single_host = nullptr;
  const server_location* mirrors = nullptr;
  int mirror_count = 0;

  const char* next() {
    if (mirrors == nullptr) return single_host;
    if (state.next_host_index < 0 || state.next_host_index >= mirror_count) state.next_host_index = 0;
    const char* host = mirrors[state.next_host_index].c_str();
    if (++state.next_host_index >= mirror_count) state.next_host_index = 0;
    return host;
  }
};

bool fetch_marked(host_choice& hosts, int& files_fetched) {
  if (state.max_patch_size > 0 && state.total_bytes_to_fetch > state.max_patch_size) return false;
  state.progress.overall_start_time = timeGetTime();
  state.progress.overall_bytes_total = state.total_bytes_to_fetch;
  // Thousands of files would otherwise read the growing log thousands of times.
  install_log_batch log_batch;
  for (int i = 0; i < state.file_list_count; ++i) {
    file_entry& entry = state.file_list[static_cast<std::size_t>(i)];
    if (!entry.needs_fetch) continue;
    lower_case_in_place(entry.name.buffer());
    std::string_view file = base_name(entry.name.view());
    // Set before the download: the notes that arrived are worth showing even when a
    // later file fails.
    if (equal_ignoring_case(file, "readme.txt")) {
      state.readme_fetched_flag = 1;
    }
    show_getting_line(file);
    url_text url;
    if (!compose_download_url(url, hosts.next(), entry.name.c_str())) return fail(fetch_cannot_open_url);
    if (!fetch_file(url.c_str(), entry, show_transfer_progress, signed_digest_of(i))) return false;
    ++files_fetched;
    log_installed("File Copy: ", entry.name.view());
  }
  return true;
}

}  // namespace

bool fetch_marked_files(const char* host, int& files_fetched) {
  files_fetched = 0;
  host_choice hosts;
  hosts.single_host = host;
  return fetch_marked(hosts, files_fetched);
}

bool fetch_marked_files_rotating(const server_location* hosts, int host_count, int& files_fetched) {
  files_fetched = 0;
  if (host_count <= 0) return false;
  host_choice choice;
  choice.mirrors = hosts;
  choice.mirror_count = host_count > alternate_host_slots ? alternate_host_slots : host_count;
  return fetch_marked(choice, files_fetched);
}

bool fetch_file(const char* url, file_entry& entry, progress_callback_type progress_callback,
                const sha256_digest* signed_digest) {
  const char* name = entry.name.c_str();

  internet_handle request = open_request(url, 0);
  if (!request) return fail(fetch_cannot_open_url);

  // The move over a read-only file would fail once the whole body is in.
  if (_access(name, 0) == 0 && _access(name, 2) != 0 && _chmod(name, _S_IREAD | _S_IWRITE) != 0) {
    return fail(fetch_cannot_make_writable);
  }

  file_digest* digest = signed_digest != nullptr ? release_file_digest() : nullptr;
  if (signed_digest != nullptr && (digest == nullptr || !digest->start())) return fail(fetch_not_as_signed);
  inflating_writer writer(entry.size, digest);
  if (!writer.ready()) return fail(fetch_no_memory);
  scratch_copy scratch(name);

  state.progress.file_bytes_total = entry.packed_size;
  state.progress.file_bytes_done = 0;
  // A failure to store the file does not end the transfer: the whole body is still
  // taken and checked, so that a wrong body is reported as one whatever the disk does.
  fetch_sink sink(writer, scratch.handle(), entry, progress_callback);
  body_end end = read_body(request.get(), sink, request, scratch);
  if (end == body_end::read_failed) return fail(fetch_read_failed);
  if (end == body_end::stopped) return fail(fetch_wrong_size);
  request.reset();
  if (sink.received != entry.packed_size || state.cancel_flag) return fail(fetch_wrong_size);

  inflate_outcome outcome = writer.finish(scratch.handle());
  if (outcome == inflate_outcome::out_of_memory) return fail(fetch_no_memory);
  if (outcome == inflate_outcome::bad_stream) return fail(fetch_cannot_inflate);
  if (digest != nullptr) {
    sha256_digest inflated;
    if (!writer.digest_whole() || !digest->finish(inflated) || inflated != *signed_digest)
      return fail(fetch_not_as_signed);
  }

  // The file's folders are made only for a file that is ready to go into them.
  std::string_view directory = directory_part(entry.name.view());
  if (!directory.empty()) {
    path_text directory_text(directory);
    if (!directory_exists(directory_text.c_str())) {
      if (!create_directory_path(directory_text.c_str())) return fail(fetch_cannot_make_directory);
      log_installed("Made Dir: ", directory);
    }
  }

  if (!scratch.created() || !full_path_fits(name)) return fail(fetch_cannot_create_file);
  if (outcome == inflate_outcome::write_failed || !scratch.flush(entry.size)) return fail(fetch_write_failed);
  if (!scratch.put_in_place()) return fail(fetch_cannot_create_file);
  stamp_file_time(name, entry.time);
  return true;
}

}  // namespace corvid
