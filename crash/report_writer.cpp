#include "crash/report_writer.h"

#include "crash/exception_names.h"
#include "crash/guarded_read.h"
#include "crash/module_list.h"
#include "crash/register_lines.h"
#include "crash/report_file.h"
#include "crash/report_text.h"
#include "crash/stack_dump.h"

namespace corvid {

namespace {

constexpr DWORD access_violation = 0xC0000005;
constexpr int code_byte_count = 16;

// Copies at most size - 1 characters and always terminates.
void copy_bounded(char* out, int size, const char* text) { lstrcpynA(out, text, size); }

int last_index_of(const char* text, char c) {
  int found = -1;
  for (int i = 0; text[i] != '\0'; ++i) {
    if (text[i] == c) found = i;
  }
  return found;
}

struct program_paths {
  char executable[MAX_PATH];
  char name[MAX_PATH];
  char report[MAX_PATH];
};

// The texts of the report that are longer than a few words live in static storage, not
// on the stack: the reporter may run on a thread that has almost none left, after a
// stack overflow or on a thread that is not the program's own. One report is written
// at a time.
program_paths paths;
char scratch_path[MAX_PATH];
char faulting_module[MAX_PATH];
char user_name[201];

// The report lies beside the executable, whatever the working directory is.
void find_program_paths(const char* report_file_name) {
  copy_bounded(paths.executable, sizeof paths.executable, "Unknown");
  copy_bounded(paths.name, sizeof paths.name, "Unknown");
  paths.report[0] = '\0';
  char* path = scratch_path;
  path[0] = '\0';
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof scratch_path);
  bool known = length != 0 && length < sizeof scratch_path;
  int directory_length = 0;
  if (known) {
    copy_bounded(paths.executable, sizeof paths.executable, path);
    directory_length = last_index_of(path, '\\') + 1;
    copy_bounded(paths.name, sizeof paths.name, path + directory_length);
    int dot = last_index_of(paths.name, '.');
    if (dot >= 0) paths.name[dot] = '\0';
  }
  // Without a known executable the name alone puts the report in the working
  // directory, the best place left.
  if (directory_length + lstrlenA(report_file_name) < static_cast<int>(sizeof paths.report)) {
    copy_bounded(paths.report, directory_length + 1, path);
    copy_bounded(paths.report + directory_length, static_cast<int>(sizeof paths.report) - directory_length,
                 report_file_name);
  }
}

// A free region has no allocation base worth the name: asking for the module at base 0
// would name the executable for a jump to nowhere.
void find_faulting_module(uintptr_t instruction_pointer, char* out, int size) {
  copy_bounded(out, size, "Unknown");
  MEMORY_BASIC_INFORMATION region;
  if (VirtualQuery(reinterpret_cast<LPCVOID>(instruction_pointer), &region, sizeof region) == 0 ||
      region.State == MEM_FREE || region.AllocationBase == nullptr)
    return;
  char* path = scratch_path;
  DWORD length = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, sizeof scratch_path);
  if (length == 0 || length >= sizeof scratch_path) return;
  copy_bounded(out, size, path + last_index_of(path, '\\') + 1);
}

void write_system_lines(report_file& file) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  file.print("Error occurred at %s.\r\n", format_file_time(now).text);

  DWORD user_size = sizeof user_name;
  if (!GetUserNameA(user_name, &user_size)) copy_bounded(user_name, sizeof user_name, "Unknown");
  file.print("%s, run by %s.\r\n", paths.executable, user_name);

  SYSTEM_INFO system;
  GetSystemInfo(&system);
  file.print("%d processor(s), type %d.\r\n", system.dwNumberOfProcessors, system.dwProcessorType);

  MEMORYSTATUS memory;
  memory.dwLength = sizeof memory;
  GlobalMemoryStatus(&memory);
  file.print("%d MBytes physical memory.\r\n", static_cast<DWORD>(megabytes_rounded_up(memory.dwTotalPhys)));
}

void write_code_bytes(report_file& file, uintptr_t instruction_pointer) {
  file.print("Bytes at CS:EIP:\r\n");
  for (int i = 0; i < code_byte_count; ++i) {
    unsigned char byte = 0;
    if (read_memory(instruction_pointer + static_cast<uintptr_t>(i), &byte, 1))
      file.print("%02x ", byte);
    else
      file.print("?? ");
  }
}

}  // namespace

// GCC 12 takes the segment-relative read of the thread block for a read through a null
// pointer and warns about it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
uintptr_t current_stack_base() {
  return reinterpret_cast<uintptr_t>(reinterpret_cast<NT_TIB*>(NtCurrentTeb())->StackBase);
}
#pragma GCC diagnostic pop

void write_report(const EXCEPTION_POINTERS& info, const char* thread_label, const char* report_file_name) {
  if (report_file_name == nullptr || report_file_name[0] == '\0') report_file_name = "errorlog.txt";
  find_program_paths(report_file_name);

  const EXCEPTION_RECORD& record = *info.ExceptionRecord;
  const CONTEXT& context = *info.ContextRecord;
  const uintptr_t instruction_pointer = instruction_pointer_of(context);
  // Found before the file is opened, so that the report's opening lines go out in the
  // first write: a report that gets no further still names the fault.
  find_faulting_module(instruction_pointer, faulting_module, sizeof faulting_module);

  report_file file(paths.report[0] == '\0' ? INVALID_HANDLE_VALUE : open_report_for_append(paths.report));
  if (!file.is_open()) {
    OutputDebugStringA("Error creating exception report");
    return;
  }

  file.print(
      "\r\n\r\n\r\n\r\n%s caused %s in module %s at %04x:%s.\r\n"
      "Exception handler called in %s.\r\n",
      paths.name, describe_exception(record.ExceptionCode), faulting_module, context.SegCs,
      format_address(instruction_pointer).digits, thread_label);

  write_system_lines(file);

  if (record.ExceptionCode == access_violation && record.NumberParameters >= 2) {
    file.print("%s location %s caused an access violation.\r\n",
               record.ExceptionInformation[0] != 0 ? "Write to" : "Read from",
               format_address(record.ExceptionInformation[1]).digits);
  }

  file.print("\r\n");
  file.print("Registers:\r\n");
  write_register_lines(file, registers_of(context));

  write_code_bytes(file, instruction_pointer);

  file.print("\r\nStack dump:\r\n");
  dump_stack(file, stack_pointer_of(context), current_stack_base());

  write_module_list(file);
}

}  // namespace corvid
