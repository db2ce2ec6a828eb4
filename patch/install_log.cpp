#include "patch/install_log.h"

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "platform/handles.h"
#include "text/fixed_text.h"
#include "text/line_source.h"
#include "text/lower_case.h"

namespace corvid {

namespace {

// How the log was left: a log that another program (or a fetched file of the same
// name) changed is never answered from memory. Size and write time only: asking for
// the file's identity costs a volume query under Wine, more than the reading saved.
struct log_stamp {
  LARGE_INTEGER size{};
  FILETIME written{};

  bool operator==(const log_stamp& other) const {
    return size.QuadPart == other.size.QuadPart && CompareFileTime(&written, &other.written) == 0;
  }
};

bool stamp_of(std::FILE* file, log_stamp& stamp) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && GetFileSizeEx(handle, &stamp.size) &&
         GetFileTime(handle, nullptr, nullptr, &stamp.written);
}

// The lines are compared as _stricmp compares them: ASCII letters without case.
std::string folded(const char* text) {
  std::string result(text);
  lower_case_in_place(result.data());
  return result;
}

struct remembered_log {
  int batches = 0;
  bool known = false;  // `lines` holds every read of the log as `stamp` describes it
  log_stamp stamp;
  std::unordered_set<std::string> lines;
};

constexpr std::size_t longest_read = 1023;  // what one read of a log line takes

// True when `line`, appended, reads back as itself: after a line feed, and short
// enough to be read whole. Anything else is read back differently, so it is not
// remembered and the next line is looked for in the log itself.
bool reads_back_whole(const char* line) {
  std::size_t length = std::strlen(line);
  return length <= longest_read && line[length - 1] == '\n';
}

// A Ctrl-Z ends a text-mode read early, and what lies behind it is never read back,
// so a log holding one is never answered from memory.
bool holds_end_of_file_mark() {
  stdio_file raw(std::fopen(install_log_file, "rb"));
  if (!raw) return true;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, raw.get())) > 0) {
    if (std::memchr(chunk, 0x1a, got) != nullptr) return true;
  }
  return std::ferror(raw.get()) != 0;
}

remembered_log remembered;

}  // namespace

install_log_batch::install_log_batch() { ++remembered.batches; }

install_log_batch::~install_log_batch() {
  if (--remembered.batches == 0) {
    remembered.known = false;
    remembered.lines = {};
  }
}

void add_install_log_line(const char* line) {
  if (line == nullptr || line[0] == '\0') return;
  stdio_file log(std::fopen(install_log_file, "r+"));
  if (!log) return;
  bool batch = remembered.batches > 0;
  log_stamp now;
  if (batch && remembered.known && stamp_of(log.get(), now) && now == remembered.stamp) {
    if (remembered.lines.count(folded(line)) != 0) return;
  } else {
    remembered.known = false;
    remembered.lines.clear();
    // Room for the longest line the fetch forms (two 255-character names and the
    // label), so that no line of ours is ever split and then added again.
    fixed_text<longest_read + 1> present;
    bool found = false, ends_in_line_feed = true;
    // Each read is what fgets gives: up to 1023 characters, with the line feed that
    // ended it. The stream is the runtime's text mode already.
    line_source lines(log.get(), line_ends::as_read);
    while (lines.next(present, long_line::split)) {
      if (lines.ended_by_line_feed()) present.append('\n');
      if (_stricmp(present.c_str(), line) == 0) {
        found = true;
        if (!batch) return;
      }
      if (batch) {
        remembered.lines.insert(folded(present.c_str()));
        ends_in_line_feed = present.c_str()[std::strlen(present.c_str()) - 1] == '\n';
      }
    }
    if (batch && !std::ferror(log.get()) && ends_in_line_feed) {
      remembered.known = stamp_of(log.get(), remembered.stamp) && !holds_end_of_file_mark();
    }
    if (found) return;
  }
  std::fseek(log.get(), 0, SEEK_END);
  std::fputs(line, log.get());
  std::fflush(log.get());
  if (batch && remembered.known) {
    remembered.known = reads_back_whole(line) && !std::ferror(log.get()) && stamp_of(log.get(), remembered.stamp);
    if (remembered.known) remembered.lines.insert(folded(line));
  }
}

void slashes_to_backslashes(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == '/') *text = '\\';
  }
}

}  // namespace corvid
