// The report's texts from chosen values, byte for byte, in both register layouts.
#include <gtest/gtest.h>

#include <string>

#include "crash/exception_names.h"
#include "crash/register_lines.h"
#include "crash/report_file.h"
#include "crash/report_text.h"
#include "crash/stack_dump.h"
#include "crash_test_files.h"
#include "tests/support/one_thread.h"

namespace corvid {

namespace {

// Collects what a piece of the reporter writes, through a real file that can be read
// while it is being written.
class written_text {
 public:
  written_text() : path((folder / "piece.txt").string()) {}

  HANDLE open() {
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  std::string text() const { return read_file(path); }

 private:
  install_folder folder{"crash"};
  std::string path;
};

TEST(report_layout, register_lines_32_bit) {
  const registers_32 r{.eax = 0x12345678,
                       .ebx = 0x9abcdef0,
                       .ecx = 0x1,
                       .edx = 0xffffffff,
                       .esi = 0x00401000,
                       .edi = 0x0012ff80,
                       .ebp = 0x0012ffb0,
                       .esp = 0x0012ff70,
                       .eip = 0x00401a2b,
                       .eflags = 0x00010246,
                       .cs = 0x1b,
                       .ss = 0x23,
                       .ds = 0x23,
                       .es = 0x23,
                       .fs = 0x3b,
                       .gs = 0xffff};

  written_text out;
  {
    report_file file(out.open());
    write_register_lines(file, r);
  }
  EXPECT_EQ(out.text(),
            "EAX=12345678 CS=001b EIP=00401a2b EFLGS=00010246\r\n"
            "EBX=9abcdef0 SS=0023 ESP=0012ff70 EBP=0012ffb0\r\n"
            "ECX=00000001 DS=0023 ESI=00401000 FS=003b\r\n"
            "EDX=ffffffff ES=0023 EDI=0012ff80 GS=ffff\r\n");
}

TEST(report_layout, register_lines_64_bit) {
  const registers_64 r{.rax = 0x0123456789abcdefull,
                       .rbx = 0xfedcba9876543210ull,
                       .rcx = 1,
                       .rdx = 0xffffffff00000000ull,
                       .rsi = 2,
                       .rdi = 3,
                       .rbp = 0x000000000022fe40ull,
                       .rsp = 0x000000000022fe00ull,
                       .rip = 0x0000000140001234ull,
                       .r8 = 8,
                       .r9 = 9,
                       .r10 = 10,
                       .r11 = 11,
                       .r12 = 12,
                       .r13 = 13,
                       .r14 = 14,
                       .r15 = 0x8000000000000000ull,
                       .eflags = 0x00000202,
                       .cs = 0x33,
                       .ss = 0x2b,
                       .ds = 0x2b,
                       .es = 0x2b,
                       .fs = 0x53,
                       .gs = 0x2b};

  written_text out;
  {
    report_file file(out.open());
    write_register_lines(file, r);
  }
  EXPECT_EQ(out.text(),
            "RAX=0123456789abcdef CS=0033 RIP=0000000140001234 EFLGS=00000202\r\n"
            "RBX=fedcba9876543210 SS=002b RSP=000000000022fe00 RBP=000000000022fe40\r\n"
            "RCX=0000000000000001 DS=002b RSI=0000000000000002 FS=0053\r\n"
            "RDX=ffffffff00000000 ES=002b RDI=0000000000000003 GS=002b\r\n"
            "R8 =0000000000000008 R9 =0000000000000009 R10=000000000000000a R11=000000000000000b\r\n"
            "R12=000000000000000c R13=000000000000000d R14=000000000000000e R15=8000000000000000\r\n");
}

// The text of a whole 32-bit dump of count words a0000000, a0000001, ...
std::string stack_text_32(uint32_t first_address, uint32_t count) {
  written_text out;
  {
    report_file file(out.open());
    stack_dump_text dump(file, 8);
    for (uint32_t i = 0; i < count; ++i) dump.add_word(first_address + 4 * i, 0xa0000000u + i, i == count - 1);
    dump.write_out();
  }
  return out.text();
}

// Address, colon, eight words; a short last line, and a full one, end in one line break.
TEST(report_layout, stack_lines_32_bit) {
  EXPECT_EQ(stack_text_32(0x0012ff70, 11),
            "0012ff70: a0000000 a0000001 a0000002 a0000003 a0000004 a0000005 a0000006 a0000007\r\n"
            "0012ff90: a0000008 a0000009 a000000a\r\n");
  EXPECT_EQ(stack_text_32(0x00001000, 8),
            "00001000: a0000000 a0000001 a0000002 a0000003 a0000004 a0000005 a0000006 a0000007\r\n");
}

// The gathered text goes out the moment it passes 950 bytes, whole, and not before;
// what was gathered after the last write is lost when the dump is dropped.
TEST(report_layout, stack_text_goes_out_past_950_bytes_and_is_dropped_since_the_last_write) {
  for (int digits : {8, 16}) {
    CORVID_TRACE(digits);
    written_text out;
    std::string gathered;
    size_t first_write = 0;
    {
      report_file file(out.open());
      stack_dump_text dump(file, digits);
      for (uint32_t i = 0; i < 256; ++i) {
        if (i % 8 == 0) gathered += std::string(format_hex(0x00120000 + 4 * i, digits).digits) + ": ";
        gathered += format_hex(i * 0x01010101u, digits).digits;
        gathered += (i % 8 == 7) ? "\r\n" : " ";
        dump.add_word(0x00120000 + 4 * i, i * 0x01010101u, false);
        std::string written = out.text();
        if (first_write == 0 && !written.empty()) {
          first_write = gathered.size();
          EXPECT_EQ(written, gathered);
        }
      }
      dump.drop();
    }
    EXPECT_GT(first_write, 950u);
    EXPECT_LE(first_write, 950u + 2 * digits + 4);
    std::string written = out.text();
    ASSERT_LT(written.size(), gathered.size());
    EXPECT_GT(written.size(), gathered.size() - 1000);
    EXPECT_EQ(written, gathered.substr(0, written.size()));
  }
}

// A word that cannot be read after a write: what went out stays, the rest gives way to
// the notice.
TEST(report_layout, unreadable_word_after_a_write_keeps_what_went_out) {
  page_before_a_hole memory;
  ASSERT_NE(memory.end(), nullptr);
  // 200 readable words make more than 950 bytes of text and less than 2000.
  const size_t word_size = sizeof(uintptr_t);
  uintptr_t start = reinterpret_cast<uintptr_t>(memory.end() - 200 * word_size);

  written_text out;
  {
    report_file file(out.open());
    dump_stack(file, start, start + 4096);
  }
  std::string written = out.text();
  const std::string notice = "Exception encountered during stack dump.\r\n";
  ASSERT_GT(written.size(), notice.size());
  EXPECT_EQ(written.substr(written.size() - notice.size()), notice);
  std::string dumped = written.substr(0, written.size() - notice.size());
  EXPECT_GT(dumped.size(), 950u);
  EXPECT_LT(dumped.size(), 200 / 8 * (address_digits + 3) + 200 * (address_digits + 1));
  EXPECT_EQ(dumped.substr(0, address_digits + 2), std::string(format_address(start).digits) + ": ");
}

TEST(report_layout, dates_in_the_old_file_system_format) {
  // 2021-03-07 09:05:08: date (41 << 9) | (3 << 5) | 7, time (9 << 11) | (5 << 5) | 4.
  EXPECT_STREQ(format_dos_date_time((41 << 9) | (3 << 5) | 7, (9 << 11) | (5 << 5) | 4).text, "3/7/2021 09:05:08");
  EXPECT_STREQ(format_dos_date_time((20 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29).text,
               "12/31/2000 23:59:58");
  // The old format starts in 1980; an earlier time has no date.
  EXPECT_STREQ(format_file_time(FILETIME{0, 0}).text, "");
}

TEST(report_layout, hex_texts_have_fixed_widths) {
  EXPECT_STREQ(format_hex(0xabc, 8).digits, "00000abc");
  EXPECT_STREQ(format_hex(0x1234567890abcdefull, 16).digits, "1234567890abcdef");
  EXPECT_STREQ(format_hex(0xabc, 16).digits, "0000000000000abc");
}

TEST(report_layout, memory_rounds_up_to_whole_megabytes_without_wrapping) {
  EXPECT_EQ(megabytes_rounded_up(0), 0u);
  EXPECT_EQ(megabytes_rounded_up(1), 1u);
  EXPECT_EQ(megabytes_rounded_up(0x100000), 1u);
  EXPECT_EQ(megabytes_rounded_up(0x100001), 2u);
  // What a 32-bit process is told on a machine with 4 GiB or more.
  EXPECT_EQ(megabytes_rounded_up(0xFFFFFFFFull), 4096u);
}

// The faults the reports name, from each end of the table and between, and what lies
// outside it.
TEST(report_layout, exception_descriptions) {
  EXPECT_STREQ(describe_exception(0x40010005), "a Control-C");
  EXPECT_STREQ(describe_exception(EXCEPTION_ACCESS_VIOLATION), "an Access Violation");
  EXPECT_STREQ(describe_exception(EXCEPTION_ILLEGAL_INSTRUCTION), "an Illegal Instruction");
  EXPECT_STREQ(describe_exception(EXCEPTION_STACK_OVERFLOW), "a Stack Overflow");
  EXPECT_STREQ(describe_exception(0xE06D7363), "a Microsoft C++ Exception");
  for (DWORD code : {0u, 0xC0000004u, 0xC0000007u, 0xE0000001u, 0x20474343u})
    EXPECT_STREQ(describe_exception(code), "Unknown exception type") << std::hex << code;
}

}  // namespace

}  // namespace corvid
