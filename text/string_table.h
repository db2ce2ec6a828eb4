#pragma once
// Localized message texts by message number, with the English default written at the
// place of use. Line n of the language file replaces message n.

#include <cstdint>
#include <memory>

#include "text/fixed_text.h"

namespace corvid {

class string_table {
 public:
  // Obtains the slot storage (one block, left uninitialised) and leaves the table
  // not loaded.
  void create(std::uint16_t slot_width, std::uint16_t slot_count);

  // 0 when the file was read, -1 without a path, -2 when it cannot be opened.
  int load(const char* path);

  // The text of message `number` (1 .. slot count) when loaded, else `default_text`
  // itself. Never allocates.
  const char* lookup(const char* default_text, std::uint16_t number) const;

  void release();

  bool exists() const { return slots_ != nullptr; }
  bool loaded() const { return !loaded_file_name_.empty(); }

 private:
  std::unique_ptr<char[]> slots_;
  std::uint16_t slot_width_ = 0;
  std::uint16_t slot_count_ = 0;
  // Slots that load actually wrote; the ones past it were never filled and answer
  // with the caller's default.
  std::uint16_t slots_filled_ = 0;
  fixed_text<256> loaded_file_name_;
};

}  // namespace corvid
