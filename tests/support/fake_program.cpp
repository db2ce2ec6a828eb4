// Stands in for the game's login program and the game itself. It writes the command
// line it was given to "<its file name>.cmdline" beside itself; started with "--stay"
// it then keeps running (at most a minute), so that it counts as a running program.

#include <windows.h>

#include <cstring>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int) {
  char own_path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, own_path, MAX_PATH);
  // Written under another name and renamed, so that a test that sees the record
  // reads all of it.
  std::string record = std::string(own_path) + ".cmdline", part = record + ".part";
  HANDLE file = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const char* line = GetCommandLineA();
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    CloseHandle(file);
    MoveFileExA(part.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  if (std::strstr(arguments, "--stay") != nullptr) Sleep(60000);
  return 0;
}
