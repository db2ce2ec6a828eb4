#pragma once
// The raw dump of the top of the faulting thread's stack.
#include <cstdint>

#include "crash/report_file.h"

namespace corvid {

// Gathers the dump's lines, eight words to a line, each line led by the address of its
// first word:
//   <address>: <word> <word> <word> <word> <word> <word> <word> <word>\r\n
// The last line of a dump may be shorter and still ends with a line break. Addresses
// and words have word_digits hex digits: 8 for 32-bit stacks, 16 for 64-bit ones.
class stack_dump_text {
 public:
  stack_dump_text(report_file& file, int word_digits);

  void add_word(uint64_t address, uint64_t value, bool last_word);
  // Writes what is gathered and starts again empty.
  void write_out();
  // Forgets what was gathered since the last write.
  void drop() { length = 0; }

 private:
  // Written out whenever it holds more than write_threshold; one word adds far less
  // than the room left above that.
  static constexpr int capacity = 1000;
  static constexpr int write_threshold = 950;

  void append(const char* piece);

  report_file& file;
  int word_digits;
  // Static, as the reporter may be short of stack; there is one dump at a time.
  static char text[capacity];
  int length = 0;
  unsigned words_added = 0;
};

// Dumps the words from stack_pointer up to the lower of stack_base and
// stack_pointer + 8 KiB. A word that cannot be read ends the dump with
// "Exception encountered during stack dump." in place of the text not yet written.
void dump_stack(report_file& file, uintptr_t stack_pointer, uintptr_t stack_base);

}  // namespace corvid
