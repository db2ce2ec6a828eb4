#include "tests/support/window_robot.h"

#include <winternl.h>

#include <thread>

namespace corvid {

namespace {

using clock_type = std::chrono::steady_clock;

std::string class_of(HWND window) {
  char class_name[64] = "";
  GetClassNameA(window, class_name, sizeof(class_name));
  return class_name;
}

// A dialog whose control 65535 is a static text; the program's own dialogs use that
// id only for group boxes.
bool is_message_box(HWND window) {
  HWND text = GetDlgItem(window, 0xFFFF);
  return class_of(window) == "#32770" && text != nullptr && _stricmp(class_of(text).c_str(), "Static") == 0;
}

BOOL CALLBACK collect_window(HWND window, LPARAM list) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  if (process_id == GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
  seen_window seen;
  seen.handle = window;
  seen.process_id = process_id;
  seen.caption = window_robot::caption_of(window);
  seen.is_message_box = is_message_box(window);
  if (seen.is_message_box) {
    seen.text = window_robot::control_text(window, 0xFFFF);
    seen.shows_icon = window_robot::icon_of(window) != nullptr;
  }
  reinterpret_cast<std::vector<seen_window>*>(list)->push_back(seen);
  return TRUE;
}

seen_window wait_for(const std::function<bool(const seen_window&)>& wanted, std::chrono::milliseconds limit) {
  auto deadline = clock_type::now() + limit;
  do {
    for (const seen_window& window : visible_windows()) {
      if (wanted(window)) return window;
    }
    std::this_thread::sleep_for(50ms);
  } while (clock_type::now() < deadline);
  return {};
}

std::string environment_block(const std::vector<std::string>& additions) {
  std::string block;
  char* own = GetEnvironmentStringsA();
  for (const char* entry = own; *entry != '\0'; entry += strlen(entry) + 1) {
    block.append(entry).push_back('\0');
  }
  FreeEnvironmentStringsA(own);
  for (const std::string& entry : additions) block.append(entry).push_back('\0');
  block.push_back('\0');
  return block;
}

// The programs a test starts, and the programs they start, end with the test program
// however it ends: one left running would show its windows to the tests after it.
HANDLE ended_with_this_process() {
  static HANDLE job = [] {
    HANDLE created = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return created;
  }();
  return job;
}

}  // namespace

std::string client_program() { return CORVID_TALOMAR_EXE; }

std::vector<seen_window> visible_windows() {
  std::vector<seen_window> windows;
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

void end_every_other_windowed_process() {
  for (const seen_window& window : visible_windows()) {
    kernel_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, window.process_id));
    if (!process) continue;
    TerminateProcess(process.get(), 97);
    WaitForSingleObject(process.get(), 5000);
  }
}

bool window_robot::start(const std::string& folder, const std::string& program, const std::string& arguments,
                         const std::vector<std::string>& environment) {
  std::string application = folder + "\\" + program;
  std::string command_line = "\"" + application + "\"";
  if (!arguments.empty()) command_line += " " + arguments;
  std::string block = environment_block(environment);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(application.c_str(), command_line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, block.data(),
                      folder.c_str(), &startup, &started)) {
    return false;
  }
  AssignProcessToJobObject(ended_with_this_process(), started.hProcess);
  ResumeThread(started.hThread);
  CloseHandle(started.hThread);
  process_.reset(started.hProcess);
  process_id_ = started.dwProcessId;
  return true;
}

seen_window window_robot::wait_for_window(const std::string& caption, std::chrono::milliseconds limit) {
  return wait_for([&](const seen_window& w) { return !w.is_message_box && (caption.empty() || w.caption == caption); },
                  limit);
}

seen_window window_robot::wait_for_window(const std::function<bool(const seen_window&)>& wanted,
                                          std::chrono::milliseconds limit) {
  return wait_for(wanted, limit);
}

seen_window window_robot::wait_for_progress_window(std::chrono::milliseconds limit) {
  // Status line 1006 and the version text 1008 exist only in the progress window.
  return wait_for(
      [](const seen_window& w) {
        return !w.is_message_box && GetDlgItem(w.handle, 1006) != nullptr && GetDlgItem(w.handle, 1008) != nullptr;
      },
      limit);
}

bool window_robot::is_start_up_prompt(HWND window) {
  HWND check = GetDlgItem(window, 1007);
  return check != nullptr && _stricmp(class_of(check).c_str(), "Button") == 0;
}

seen_window window_robot::wait_for_message_box(std::chrono::milliseconds limit) {
  return wait_for([](const seen_window& w) { return w.is_message_box; }, limit);
}

bool window_robot::wait_for_exit(DWORD& exit_code, std::chrono::milliseconds limit) {
  if (!process_) return false;
  if (WaitForSingleObject(process_.get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
    TerminateProcess(process_.get(), 99);
    WaitForSingleObject(process_.get(), 5000);
    return false;
  }
  GetExitCodeProcess(process_.get(), &exit_code);
  return true;
}

bool window_robot::has_exited(DWORD& exit_code) const {
  if (!process_ || WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) return false;
  return GetExitCodeProcess(process_.get(), &exit_code) != 0;
}

bool window_robot::adopt(DWORD process_id) {
  kernel_handle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, process_id));
  if (!process) return false;
  process_ = std::move(process);
  process_id_ = process_id;
  return true;
}

bool window_robot::wait_for_process_exit(DWORD process_id, DWORD& exit_code, std::chrono::milliseconds limit) {
  kernel_handle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, process_id));
  if (!process) return false;
  if (WaitForSingleObject(process.get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 99);
    WaitForSingleObject(process.get(), 5000);
    return false;
  }
  return GetExitCodeProcess(process.get(), &exit_code) != 0;
}

std::string window_robot::control_text(HWND window, int control_id) {
  char text[4096] = "";
  GetDlgItemTextA(window, control_id, text, sizeof(text));
  return text;
}

namespace {

// The icon sits in the box's one static control of the icon style.
BOOL CALLBACK take_icon(HWND child, LPARAM found) {
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
  *reinterpret_cast<HICON*>(found) = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  return FALSE;
}

}  // namespace

HICON window_robot::icon_of(HWND box) {
  HICON icon = nullptr;
  EnumChildWindows(box, take_icon, reinterpret_cast<LPARAM>(&icon));
  return icon;
}

std::string window_robot::caption_of(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

void window_robot::press(HWND window, int control_id) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(control_id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, control_id)));
}

void window_robot::press_key(HWND window, WPARAM virtual_key) {
  // Posted into the program's queue as the keyboard would; its dialog manager then
  // turns the key into the dialog's own command.
  PostMessageA(window, WM_KEYDOWN, virtual_key, 1);
  PostMessageA(window, WM_KEYUP, virtual_key, 1 | (1u << 30) | (1u << 31));
}

void window_robot::close(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

void window_robot::post_quit(DWORD process_id) {
  DWORD thread_id = 0;
  for (const seen_window& window : visible_windows()) {
    if (window.process_id == process_id) {
      thread_id = GetWindowThreadProcessId(window.handle, nullptr);
      break;
    }
  }
  if (thread_id != 0) PostThreadMessageA(thread_id, WM_QUIT, 0, 0);
}

std::string window_robot::command_line_of(DWORD process_id) {
  kernel_handle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
  if (!process) return {};
  using query_function = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
  auto query = reinterpret_cast<query_function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic{};
  if (query == nullptr || query(process.get(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) {
    return {};
  }
  PEB peb{};
  RTL_USER_PROCESS_PARAMETERS parameters{};
  if (!ReadProcessMemory(process.get(), basic.PebBaseAddress, &peb, sizeof(peb), nullptr) ||
      !ReadProcessMemory(process.get(), peb.ProcessParameters, &parameters, sizeof(parameters), nullptr)) {
    return {};
  }
  std::wstring wide(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
  if (!ReadProcessMemory(process.get(), parameters.CommandLine.Buffer, wide.data(), parameters.CommandLine.Length,
                         nullptr)) {
    return {};
  }
  int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), length, nullptr, nullptr);
  return narrow;
}

window_robot::~window_robot() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 98);
    WaitForSingleObject(process_.get(), 5000);
  }
}

}  // namespace corvid
