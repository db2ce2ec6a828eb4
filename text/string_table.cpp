#include "text/string_table.h"

#include <cstdio>

#include "platform/owned_handle.h"
#include "text/line_source.h"

namespace corvid {

namespace {

// Backslash-n becomes a line break and carriage returns go, wherever they stand. A
// backslash before anything else is kept as an ordinary character, so a translator's
// stray backslash stays visible rather than silently eating text.
void rewrite_slot(char* slot) {
  char* out = slot;
  for (const char* in = slot; *in != '\0'; ++in) {
    if (*in == '\r') continue;
    if (in[0] == '\\' && in[1] == 'n') {
      *out++ = '\n';
      ++in;
      continue;
    }
    *out++ = *in;
  }
  *out = '\0';
}

}  // namespace

void string_table::create(std::uint16_t slot_width, std::uint16_t slot_count) {
  slot_width_ = slot_width;
  slot_count_ = slot_count;
  slots_filled_ = 0;
  loaded_file_name_.clear();
  std::size_t bytes = static_cast<std::size_t>(slot_width) * slot_count;
  slots_.reset(bytes ? new char[bytes] : nullptr);
}

int string_table::load(const char* path) {
  if (path == nullptr) return -1;
  stdio_file file(std::fopen(path, "rb"));
  if (!file) return -2;

  loaded_file_name_.assign(path);
  slots_filled_ = 0;
  if (slots_ != nullptr && slot_width_ > 0) {
    // Binary: carriage returns are the rewrite's to drop, and they count in a slot's
    // width. A full slot leaves the rest of its line, or only the line feed, as the next.
    line_source lines(file.get(), line_ends::as_read);
    for (std::uint16_t slot = 0; slot < slot_count_ && !lines.at_end(); ++slot) {
      char* text = slots_.get() + static_cast<std::size_t>(slot) * slot_width_;
      lines.next(text, slot_width_, long_line::split);
      rewrite_slot(text);
      slots_filled_ = static_cast<std::uint16_t>(slot + 1);
    }
  }
  return 0;
}

const char* string_table::lookup(const char* default_text, std::uint16_t number) const {
  if (!loaded() || slots_ == nullptr) return default_text;
  if (number < 1 || number > slot_count_ || number > slots_filled_) return default_text;
  return slots_.get() + static_cast<std::size_t>(number - 1) * slot_width_;
}

void string_table::release() {
  slots_.reset();
  slot_width_ = 0;
  slot_count_ = 0;
  slots_filled_ = 0;
  loaded_file_name_.clear();
}

}  // namespace corvid
