#include "crash/stack_dump.h"

#include <windows.h>

#include "crash/guarded_read.h"
#include "crash/report_text.h"

namespace corvid {

namespace {

constexpr unsigned words_per_line = 8;
constexpr uintptr_t dump_limit = 8192;

}  // namespace

char stack_dump_text::text[stack_dump_text::capacity];

stack_dump_text::stack_dump_text(report_file& destination, int digits) : file(destination), word_digits(digits) {}

void stack_dump_text::append(const char* piece) {
  for (const char* c = piece; *c != '\0' && length < capacity; ++c) text[length++] = *c;
}

void stack_dump_text::add_word(uint64_t address, uint64_t value, bool last_word) {
  if (words_added % words_per_line == 0) {
    append(format_hex(address, word_digits).digits);
    append(": ");
  }
  append(format_hex(value, word_digits).digits);
  bool line_full = words_added % words_per_line == words_per_line - 1;
  append(line_full || last_word ? "\r\n" : " ");
  ++words_added;
  if (length > write_threshold) write_out();
}

void stack_dump_text::write_out() {
  file.write(text, length);
  length = 0;
}

void dump_stack(report_file& file, uintptr_t stack_pointer, uintptr_t stack_base) {
  uintptr_t end = stack_base;
  if (stack_pointer <= UINTPTR_MAX - dump_limit && stack_pointer + dump_limit < end) end = stack_pointer + dump_limit;

  constexpr uintptr_t word_size = sizeof(uintptr_t);
  stack_dump_text text(file, address_digits);
  for (uintptr_t address = stack_pointer; address < end && end - address >= word_size; address += word_size) {
    uintptr_t word = 0;
    if (!read_memory(address, &word, word_size)) {
      text.drop();
      file.print("Exception encountered during stack dump.\r\n");
      return;
    }
    bool last_word = end - (address + word_size) < word_size;
    text.add_word(address, word, last_word);
  }
  text.write_out();
}

}  // namespace corvid
