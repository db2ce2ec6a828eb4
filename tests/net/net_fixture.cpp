#include "tests/net/net_fixture.h"

#include <direct.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/update_state.h"

namespace {

void remove_tree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = folder + "\\" + name;
      SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(full);
      } else {
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

scratch_folder::scratch_folder() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  static int counter = 0;
  path_ = std::string(temp) + "corvid_net_" + std::to_string(GetCurrentProcessId()) + "_" +
          std::to_string(++counter);
  remove_tree(path_);
  CreateDirectoryA(path_.c_str(), nullptr);
  char here[MAX_PATH];
  previous_ = _getcwd(here, sizeof here) ? here : "";
  _chdir(path_.c_str());
}

scratch_folder::~scratch_folder() {
  _chdir(previous_.c_str());
  remove_tree(path_);
}

bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string file_contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

void load_language(std::initializer_list<std::pair<int, const char*>> messages) {
  std::vector<std::string> lines(64);
  for (const auto& [number, text] : messages) lines[static_cast<std::size_t>(number - 1)] = text;
  std::string contents;
  for (const std::string& line : lines) contents += line + "\n";
  write_file("language.dat", contents);
  state.string_table.create(1024, 64);
  state.string_table.load("language.dat");
}

box_closer::box_closer() : thread_([this] { run(); }) {}

box_closer::~box_closer() { stop(); }

std::vector<seen_box> box_closer::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return seen_;
}

void box_closer::run() {
  using clock = std::chrono::steady_clock;
  auto give_up = clock::now() + std::chrono::seconds(30);
  while (!stopping_ && clock::now() < give_up) {
    HWND box = FindWindowA("#32770", nullptr);
    DWORD owner_process = 0;
    if (box != nullptr) GetWindowThreadProcessId(box, &owner_process);
    if (box == nullptr || owner_process != GetCurrentProcessId() || !IsWindowVisible(box)) {
      Sleep(20);
      continue;
    }
    seen_box seen;
    char text[8192];
    GetWindowTextA(box, text, sizeof text);
    seen.caption = text;
    text[0] = '\0';
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    seen.text = text;
    {
      std::lock_guard lock(mutex_);
      seen_.push_back(seen);
    }
    SendMessageA(box, WM_COMMAND, IDOK, 0);
    for (int wait = 0; wait < 250 && IsWindow(box); ++wait) Sleep(20);
  }
}
