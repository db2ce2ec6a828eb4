#include "app/elevation.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/handles.h"
#include "core/scratch_files.h"
#include "text/fixed_text.h"
#include "text/paths.h"

namespace corvid {

std::string_view launch_arguments_of(std::string_view command_line, bool& elevated_run) {
  elevated_run = command_line.substr(0, elevated_run_mark.size()) == elevated_run_mark &&
                 (command_line.size() == elevated_run_mark.size() || command_line[elevated_run_mark.size()] == ' ');
  if (!elevated_run) return command_line;
  command_line.remove_prefix(elevated_run_mark.size());
  if (!command_line.empty()) command_line.remove_prefix(1);
  return command_line;
}

bool working_directory_can_be_written() {
  // Scratch copies' names, which nothing else may use; the file is gone once closed. A
  // refusal counts only where nothing of the name is there already, such as a folder.
  for (int index = 0; index < scratch_copy_name_count; ++index) {
    scratch_copy_name name = scratch_copy_name_at(index);
    kernel_handle probe(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (probe) return true;
    DWORD error = GetLastError();
    if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) {
      return error != ERROR_ACCESS_DENIED && error != ERROR_WRITE_PROTECT;
    }
  }
  return true;
}

bool start_elevated_self(const char* launch_arguments) {
  path_text own_path;
  DWORD length = GetModuleFileNameA(nullptr, own_path.buffer(), static_cast<DWORD>(own_path.buffer_size()));
  if (length == 0 || length >= own_path.buffer_size()) return false;
  fixed_text<1024 + elevated_run_mark.size() + 1> parameters(elevated_run_mark);
  if (*launch_arguments != '\0' && !(parameters.append(' ') && parameters.append(launch_arguments))) return false;
  SHELLEXECUTEINFOA request{};
  request.cbSize = sizeof(request);
  // The run ends as soon as the call returns, so the start must be complete by then; the
  // program shows its own box when it fails.
  request.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  request.lpVerb = "runas";
  request.lpFile = own_path.c_str();
  request.lpParameters = parameters.c_str();
  request.nShow = SW_SHOWNORMAL;
  return ShellExecuteExA(&request) != FALSE;
}

}  // namespace corvid
