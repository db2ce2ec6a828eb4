#pragma once
// The "Registers:" block. Both layouts are built on either build, from plain values, so
// that the shipping 32-bit layout can be checked where only 64-bit programs run.
#include <cstdint>
#include <windows.h>

#include "crash/report_file.h"

namespace corvid {

struct registers_32 {
  uint32_t eax, ebx, ecx, edx, esi, edi, ebp, esp, eip, eflags;
  uint16_t cs, ss, ds, es, fs, gs;
};

struct registers_64 {
  uint64_t rax, rbx, rcx, rdx, rsi, rdi, rbp, rsp, rip;
  uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
  uint32_t eflags;
  uint16_t cs, ss, ds, es, fs, gs;
};

// EAX=%08x CS=%04x EIP=%08x EFLGS=%08x
// EBX=%08x SS=%04x ESP=%08x EBP=%08x
// ECX=%08x DS=%04x ESI=%08x FS=%04x
// EDX=%08x ES=%04x EDI=%08x GS=%04x
void write_register_lines(report_file& file, const registers_32& registers);

// The same four lines with the 64-bit registers in 16 digits, then the registers that
// the 32-bit processor does not have:
// RAX=<16> CS=%04x RIP=<16> EFLGS=%08x
// RBX=<16> SS=%04x RSP=<16> RBP=<16>
// RCX=<16> DS=%04x RSI=<16> FS=%04x
// RDX=<16> ES=%04x RDI=<16> GS=%04x
// R8 =<16> R9 =<16> R10=<16> R11=<16>
// R12=<16> R13=<16> R14=<16> R15=<16>
void write_register_lines(report_file& file, const registers_64& registers);

#ifdef _WIN64
using native_registers = registers_64;
#else
using native_registers = registers_32;
#endif

native_registers registers_of(const CONTEXT& context);
uintptr_t instruction_pointer_of(const CONTEXT& context);
uintptr_t stack_pointer_of(const CONTEXT& context);

}  // namespace corvid
