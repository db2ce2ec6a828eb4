#include "app/driver.h"

#include <windows.h>

#include <io.h>
#include <process.h>

#include "app/dialogs.h"
#include "app/progress_window.h"
#include "app/resources/resource_ids.h"
#include "core/shutdown.h"
#include "app/startup.h"
#include "core/update_state.h"
#include "net/download.h"
#include "net/internet_session.h"
#include "net/network_error.h"
#include "net/server_selection.h"
#include "patch/command_script.h"
#include "patch/fetch.h"
#include "patch/list_format.h"
#include "patch/local_files.h"
#include "patch/release_verification.h"
#include "patch/verification.h"

namespace corvid {

namespace {

enum driver_states : std::uint32_t {
  starting_session = 0,
  prompting = 1,
  connecting = 2,
  updating_client = 3,
  updating_product = 4,
  showing_notes = 5,
  launching = 6,
  finishing = 7,
};

void warn(const char* text, const char* caption) { MessageBoxA(nullptr, text, caption, MB_ICONWARNING); }

void end_run() { state.driver_state = finishing; }

// A failed step ends the run; the player hears of it unless they cancelled. A file
// that is not the one signed is told as every other refusal of the release key is.
void end_run_after_failure(message failure) {
  if (state.last_error_code == fetch_not_as_signed) failure = message::update_not_verified;
  if (!state.cancel_flag) report_network_error(text_of(failure));
  end_run();
}

void show_checking_status(message status) {
  set_status_line(IDC_STATUS_LINE_1, text_of(status));
  set_status_line(IDC_STATUS_LINE_2, text_of(message::please_wait));
}

bool fetch_marked_files_of(host_column column, const server_location& single_host, int& files_fetched) {
  files_fetched = 0;
  if (state.alternate_host_count >= 1) {
    return fetch_marked_files_rotating(state.alternate_host_table[column], state.alternate_host_count, files_fetched);
  }
  return fetch_marked_files(single_host.c_str(), files_fetched);
}

void run_start_session() {
  if (open_internet_session()) {
    state.driver_state = prompting;
    return;
  }
  warn(text_of(message::cannot_start_internet), text_of(message::error_caption));
  end_run();
}

// A modal dialog whose first button goes on to `next`; anything else ends the run.
void run_dialog(int template_id, DLGPROC procedure, driver_states next) {
  INT_PTR answer = DialogBoxParamA(state.instance_handle, MAKEINTRESOURCEA(template_id), nullptr, procedure, 0);
  if (answer == 1) {
    state.driver_state = next;
  } else {
    end_run();
  }
}

void run_connect() {
  if (select_update_server()) {
    state.driver_state = updating_client;
    return;
  }
  if (state.cancel_flag) {
    end_run();
    return;
  }
  // A redirection is followed on the next step, silently, for as long as it goes on.
  if (state.redirected_flag) return;
  report_network_error(text_of(message::cannot_connect));
  end_run();
}

// With a release key, nothing of a tree is used before its signed document is accepted.
bool tree_document_accepted(const char* header_host, release_tree tree) {
  return !releases_are_signed() || accept_signed_document(header_host, tree);
}

bool served_as_signed(const char* path, served_part part) {
  return !releases_are_signed() || served_file_as_signed(path, part);
}

// The list names the signed files, and the serial is kept before any of them is
// installed, so that no later run takes an older release.
bool list_as_signed() { return !releases_are_signed() || (file_list_as_signed() && keep_accepted_serial()); }

void run_update_client() {
  show_checking_status(message::checking_client);
  if (!tree_document_accepted(state.client_header_host.c_str(), release_tree::client)) {
    end_run_after_failure(message::update_not_verified);
    return;
  }
  if (!fetch_client_list_or_patch_header(state.client_header_host.c_str())) {
    end_run_after_failure(message::cannot_retrieve_client_information);
    return;
  }
  if (!served_as_signed(server_scratch_file, served_part::list)) {
    DeleteFileA(server_scratch_file);
    end_run_after_failure(message::update_not_verified);
    return;
  }
  if (!read_client_file_list(server_scratch_file)) {
    end_run_after_failure(message::cannot_parse_client_information);
    return;
  }
  if (!list_as_signed()) {
    end_run_after_failure(message::update_not_verified);
    return;
  }
  int files_fetched = 0;
  if (!fetch_marked_files_of(client_column, state.client_host, files_fetched)) {
    end_run_after_failure(message::cannot_update_client);
    return;
  }
  if (files_fetched != 0) {
    warn(text_of(message::client_updated), text_of(message::program_name));
    end_run();
    return;
  }
  state.driver_state = updating_product;
}

// A manifest that an earlier run stored hidden would make an ordinary re-creation fail
// on Windows; it is made ordinary first, since this download replaces it anyway.
bool download_manifest(bool hidden) {
  if (!hidden) {
    DWORD attributes = GetFileAttributesA(manifest_file_name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0) {
      SetFileAttributesA(manifest_file_name,
                         attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY));
    }
  }
  return download_from_host(state.product_header_host.c_str(), manifest_file_name, hidden);
}

// False when the manifest is needed and could not be fetched.
bool bring_manifest_up_to_date(const file_entry& header) {
  bool fetch_needed = true;
  bool hidden = false;
  if (_access(manifest_file_name, 0) == 0 && !state.complete_file_check_flag) {
    file_entry local;
    bool current =
        stat_file(manifest_file_name, local) && local.size == header.packed_size && local.time == header.time;
    if (current) fetch_needed = false;
    hidden = true;
  }
  if (!fetch_needed) return true;
  if (!download_manifest(hidden)) return false;
  stamp_file_time(manifest_file_name, header.time);
  return true;
}

void run_update_product() {
  show_checking_status(message::checking_files);

  if (!tree_document_accepted(state.product_header_host.c_str(), release_tree::product)) {
    return end_run_after_failure(message::update_not_verified);
  }
  // A signed release without a script runs none, whatever the server holds.
  if (!releases_are_signed() || signed_release_has_script()) {
    fetch_command_script(state.product_host.c_str());
    if (state.cancel_flag) return end_run();
    if (!served_as_signed(command_script_file, served_part::script)) {
      DeleteFileA(command_script_file);
      return end_run_after_failure(message::update_not_verified);
    }
    run_command_script(command_script_file);
    if (state.cancel_flag) return end_run();
    DeleteFileA(command_script_file);
  }

  if (!fetch_client_list_or_patch_header(state.product_header_host.c_str())) {
    return end_run_after_failure(message::cannot_retrieve_product_information);
  }
  if (!served_as_signed(server_scratch_file, served_part::list)) {
    DeleteFileA(server_scratch_file);
    return end_run_after_failure(message::update_not_verified);
  }
  // A header that cannot be read, is short or lacks its magic describes no manifest.
  file_entry header;
  if (!read_patch_header(server_scratch_file, header)) {
    DeleteFileA(server_scratch_file);
    return end_run_after_failure(message::cannot_open_manifest_information);
  }
  if (!bring_manifest_up_to_date(header)) {
    return end_run_after_failure(message::cannot_retrieve_product_information);
  }
  // The next run fetches the manifest again rather than trusting this one.
  if (!served_as_signed(manifest_file_name, served_part::manifest)) {
    DeleteFileA(server_scratch_file);
    DeleteFileA(manifest_file_name);
    return end_run_after_failure(message::update_not_verified);
  }
  if (!check_product_files(header)) {
    if (state.cancel_flag) return end_run();
    report_network_error(text_of(message::cannot_parse_product_information));
    DeleteFileA(manifest_file_name);
    return end_run();
  }
  DeleteFileA(server_scratch_file);
  if (!list_as_signed()) return end_run_after_failure(message::update_not_verified);

  if (state.max_patch_size != 0 && state.total_bytes_to_fetch != 0 &&
      state.total_bytes_to_fetch > state.max_patch_size) {
    warn(text_of(message::too_much_to_fetch), text_of(message::cannot_complete_caption));
    return end_run();
  }

  int files_fetched = 0;
  if (!fetch_marked_files_of(product_column, state.product_host, files_fetched)) {
    return end_run_after_failure(message::product_update_failed);
  }
  if (state.readme_fetched_flag) {
    ShowWindow(state.progress_window, SW_HIDE);
    state.driver_state = showing_notes;
  } else {
    state.driver_state = launching;
  }
}

// The login program runs on by itself; whether it started is not this run's concern.
void run_launch() {
  _spawnl(_P_NOWAIT, login_program_name, login_program_name, state.launch_arguments.c_str(), nullptr);
  end_run();
}

void run_finish() {
  close_internet_session();
  DestroyWindow(state.progress_window);
}

}  // namespace

void run_driver_step() {
  switch (state.driver_state) {
    case starting_session: return run_start_session();
    case prompting: return run_dialog(IDD_PROMPT, prompt_procedure, connecting);
    case connecting: return run_connect();
    case updating_client: return run_update_client();
    case updating_product: return run_update_product();
    case showing_notes: return run_dialog(IDD_NOTES, notes_procedure, launching);
    case launching: return run_launch();
    case finishing: return run_finish();
    default: return;
  }
}

}  // namespace corvid
