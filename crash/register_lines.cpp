#include "crash/register_lines.h"

#include "crash/report_text.h"

namespace corvid {

void write_register_lines(report_file& file, const registers_32& r) {
  file.print("EAX=%08x CS=%04x EIP=%08x EFLGS=%08x\r\n", r.eax, r.cs, r.eip, r.eflags);
  file.print("EBX=%08x SS=%04x ESP=%08x EBP=%08x\r\n", r.ebx, r.ss, r.esp, r.ebp);
  file.print("ECX=%08x DS=%04x ESI=%08x FS=%04x\r\n", r.ecx, r.ds, r.esi, r.fs);
  file.print("EDX=%08x ES=%04x EDI=%08x GS=%04x\r\n", r.edx, r.es, r.edi, r.gs);
}

void write_register_lines(report_file& file, const registers_64& r) {
  auto wide = [](uint64_t value) { return format_hex(value, 16); };
  file.print("RAX=%s CS=%04x RIP=%s EFLGS=%08x\r\n", wide(r.rax).digits, r.cs, wide(r.rip).digits, r.eflags);
  file.print("RBX=%s SS=%04x RSP=%s RBP=%s\r\n", wide(r.rbx).digits, r.ss, wide(r.rsp).digits, wide(r.rbp).digits);
  file.print("RCX=%s DS=%04x RSI=%s FS=%04x\r\n", wide(r.rcx).digits, r.ds, wide(r.rsi).digits, r.fs);
  file.print("RDX=%s ES=%04x RDI=%s GS=%04x\r\n", wide(r.rdx).digits, r.es, wide(r.rdi).digits, r.gs);
  file.print("R8 =%s R9 =%s R10=%s R11=%s\r\n", wide(r.r8).digits, wide(r.r9).digits, wide(r.r10).digits,
             wide(r.r11).digits);
  file.print("R12=%s R13=%s R14=%s R15=%s\r\n", wide(r.r12).digits, wide(r.r13).digits, wide(r.r14).digits,
             wide(r.r15).digits);
}

#ifdef _WIN64

native_registers registers_of(const CONTEXT& c) {
  return registers_64{c.Rax, c.Rbx,    c.Rcx,   c.Rdx,   c.Rsi,   c.Rdi,   c.Rbp,   c.Rsp,
                      c.Rip, c.R8,     c.R9,    c.R10,   c.R11,   c.R12,   c.R13,   c.R14,
                      c.R15, c.EFlags, c.SegCs, c.SegSs, c.SegDs, c.SegEs, c.SegFs, c.SegGs};
}

uintptr_t instruction_pointer_of(const CONTEXT& context) { return context.Rip; }
uintptr_t stack_pointer_of(const CONTEXT& context) { return context.Rsp; }

#else

native_registers registers_of(const CONTEXT& c) {
  return registers_32{c.Eax,
                      c.Ebx,
                      c.Ecx,
                      c.Edx,
                      c.Esi,
                      c.Edi,
                      c.Ebp,
                      c.Esp,
                      c.Eip,
                      c.EFlags,
                      static_cast<uint16_t>(c.SegCs),
                      static_cast<uint16_t>(c.SegSs),
                      static_cast<uint16_t>(c.SegDs),
                      static_cast<uint16_t>(c.SegEs),
                      static_cast<uint16_t>(c.SegFs),
                      static_cast<uint16_t>(c.SegGs)};
}

uintptr_t instruction_pointer_of(const CONTEXT& context) { return context.Eip; }
uintptr_t stack_pointer_of(const CONTEXT& context) { return context.Esp; }

#endif

}  // namespace corvid
