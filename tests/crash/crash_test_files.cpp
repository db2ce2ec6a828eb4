#include "crash_test_files.h"

namespace corvid {

page_before_a_hole::page_before_a_hole() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  pages = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD old_protection;
  if (pages != nullptr && VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &old_protection))
    readable_end = pages + system.dwPageSize;
}

page_before_a_hole::~page_before_a_hole() {
  if (pages != nullptr) VirtualFree(pages, 0, MEM_RELEASE);
}

std::string test_program_folder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\'));
}

DWORD run_program(const std::string& exe, const std::string& arguments, const std::string& working_directory,
                  DWORD timeout_ms) {
  std::string command_line = "\"" + exe + "\" " + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, working_directory.c_str(),
                      &startup, &process))
    return static_cast<DWORD>(-1);
  DWORD exit_code = STILL_ACTIVE;
  if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &exit_code);
  else
    TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exit_code;
}

std::string line_starting_with(const std::string& text, const std::string& start) {
  size_t at = text.find("\r\n" + start);
  if (at == std::string::npos) return "";
  at += 2;
  return text.substr(at, text.find("\r\n", at) - at);
}

std::string between(const std::string& text, const std::string& from, const std::string& to) {
  size_t start = text.find(from);
  if (start == std::string::npos) return "<no " + from + ">";
  start += from.size();
  size_t end = text.find(to, start);
  if (end == std::string::npos) return "<no " + to + ">";
  return text.substr(start, end - start);
}

}  // namespace corvid
