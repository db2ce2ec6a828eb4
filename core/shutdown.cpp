#include "core/shutdown.h"

#include <windows.h>

#include "core/update_state.h"

namespace corvid {

void shutdown_cleanup() {
  if (state.string_table.exists()) state.string_table.release();
  state.file_list.reset();
  state.file_list_count = 0;
  delete_scratch_files();
}

void delete_scratch_files() {
  DeleteFileA(server_scratch_file);
  DeleteFileA(command_script_file);
  DeleteFileA(signed_document_file_name);
  for (int index = 0; index < scratch_copy_name_count; ++index) DeleteFileA(scratch_copy_name_at(index).c_str());
}

}  // namespace corvid
