// The demo's stand-in for the game's login program: it records the command line it
// was started with in "login_arguments.txt" beside itself, so that the demo can show
// what the update client handed over.

#include <windows.h>

#include <cstring>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
  char own_path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, own_path, MAX_PATH);
  std::string folder(own_path);
  folder.erase(folder.find_last_of("\\/") + 1);
  std::string record = "command line: " + std::string(GetCommandLineA()) + "\r\narguments: " + arguments + "\r\n";
  HANDLE file =
      CreateFileA((folder + "login_arguments.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
