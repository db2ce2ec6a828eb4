#include "app/startup.h"

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <direct.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "platform/handles.h"
#include "core/shutdown.h"
#include "app/elevation.h"
#include "app/update_location.h"
#include "core/update_state.h"
#include "text/lower_case.h"
#include "text/paths.h"

namespace corvid {

namespace {

path_text own_file_path() {
  path_text path;
  DWORD length = GetModuleFileNameA(nullptr, path.buffer(), static_cast<DWORD>(path.buffer_size()));
  if (length == 0 || length >= path.buffer_size()) path.clear();
  return path;
}

[[noreturn]] void refuse_to_run(const char* reason) {
  MessageBoxA(nullptr, reason, text_of(message::cannot_complete_caption), MB_ICONWARNING);
  ExitProcess(static_cast<UINT>(-1));
}

// An update that cannot write the game folder could only fail; an elevated run of the
// program can do it. That run is asked for once: the elevated run itself, and a player
// who declines, are told why the update cannot go on.
void make_sure_folder_can_be_written(bool elevated_run) {
  if (working_directory_can_be_written()) return;
  if (!elevated_run && start_elevated_self(state.launch_arguments.c_str())) ExitProcess(0);
  path_text folder;
  if (_getcwd(folder.buffer(), static_cast<int>(folder.buffer_size())) == nullptr) folder.clear();
  fixed_text<1024> reason;
  reason.format(template_of(message::folder_needs_administrator), folder.c_str());
  refuse_to_run(reason.c_str());
}

// Under the starter name the program replaces itself by a copy, so that an update of
// the update client can overwrite the starter file while this run goes on.
void hand_over_to_overlay_copy() {
  path_text own_path = own_file_path();
  path_text own_name(base_name(own_path.view()));
  if (!equal_ignoring_case(own_name.view(), starter_name)) return;

  CopyFileA(own_name.c_str(), overlay_copy_name, FALSE);
  // The launch arguments travel as one argument, so the copy sees the same text after
  // its program name.
  intptr_t started = _spawnl(_P_OVERLAY, overlay_copy_name, overlay_copy_name, state.launch_arguments.c_str(), nullptr);
  if (started != -1) ExitProcess(0);
}

void capture_file_time_bias() {
  _tzset();
  state.file_time_bias = static_cast<std::int32_t>(_timezone) + (_daylight == 0 ? 3600 : 0);
}

void read_update_location_file() {
  switch (read_update_location(update_location_file)) {
    case update_location_result::read: return;
    case update_location_result::cannot_open: ExitProcess(static_cast<UINT>(-1));
    case update_location_result::wrong_first_line: ExitProcess(static_cast<UINT>(-2));
    case update_location_result::no_location: ExitProcess(static_cast<UINT>(-3));
  }
}

}  // namespace

void enter_program_directory() {
  path_text own_path = own_file_path();
  path_text folder(directory_part(own_path.view()));
  if (!folder.empty()) _chdir(folder.c_str());
}

bool is_program_running(const char* module_base_name) {
  kernel_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  // Process entries carry no module identifier on current systems, so the executable
  // is known by the entry's own file name.
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32First(snapshot.get(), &entry); more; more = Process32Next(snapshot.get(), &entry)) {
    if (equal_ignoring_case(base_name(entry.szExeFile), module_base_name)) return true;
  }
  return false;
}

void prepare_startup(bool elevated_run) {
  enter_program_directory();

  state.string_table.create(512, 64);
  state.string_table.load(language_file);

  if (is_program_running(login_program_name)) {
    refuse_to_run(text_of(message::login_program_running));
  }
  if (is_program_running(game_program_name)) {
    refuse_to_run(text_of(message::game_running));
  }

  make_sure_folder_can_be_written(elevated_run);
  hand_over_to_overlay_copy();

  if (_getcwd(state.installation_directory.buffer(), static_cast<int>(state.installation_directory.buffer_size())) ==
      nullptr) {
    state.installation_directory.clear();
  }
  capture_file_time_bias();
  InitCommonControls();
  delete_scratch_files();

  read_update_location_file();
}

}  // namespace corvid
