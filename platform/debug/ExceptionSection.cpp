#include "platform/debug/ExceptionSection.h"

#include "platform/debug/ExceptionCodes.h"
#include "platform/debug/ProcessMemory.h"

#include <cstring>

namespace taluvo::debug {

void AppendExceptionName(uint32_t code, SafeText& text)
{
    if (const char* name = ExceptionNameFromTable(code)) {
        text.Append(name);
    } else if (code == kExceptionCpp) {
        text.Append("C++ exception");
    } else if (code > 0 && code < 65) {
        // sigdescr_np returns constant text, unlike strsignal, so it is safe in a handler.
        text.Append(sigdescr_np(static_cast<int>(code)));
    }
}

namespace {

void Register(SafeText& text, const char* name, uint64_t value)
{
    text.Append(name).AppendChar(':').AppendHex(value, 16).Append("\r\n");
}

} // namespace

void FormatExceptionSection(const CrashRecord& r, pid_t pid, SafeText& text)
{
    text.Append("===== [start of crash report] =====\r\n");
    text.Append("Exception code: ").AppendHex(r.exceptionCode, 8).AppendChar(' ');
    AppendExceptionName(r.exceptionCode, text);
    if (r.exceptionCode == kExceptionCpp && r.exceptionText[0] != '\0')
        text.Append(": ").Append(r.exceptionText, strnlen(r.exceptionText, sizeof(r.exceptionText)));
    text.Append("\r\n");

    char module[1024];
    module[0] = '\0';
    unsigned segment = 0;
    uint64_t offset = 0;
    LocateAddressInModule(pid, r.faultAddress, module, sizeof(module), &segment, &offset);
    text.Append("Fault address:  ").AppendHex(r.faultAddress, 16).AppendChar(' ').AppendHex(segment, 2);
    text.AppendChar(':').AppendHex(offset, 8).AppendChar(' ').Append(module).Append("\r\n");

    text.Append("\r\nRegisters:\r\n");
    Register(text, "RAX", r.registers[kRax]);
    Register(text, "RBX", r.registers[kRbx]);
    Register(text, "RCX", r.registers[kRcx]);
    Register(text, "RDX", r.registers[kRdx]);
    Register(text, "RSI", r.registers[kRsi]);
    Register(text, "RDI", r.registers[kRdi]);
    static constexpr const char* kHigh[] = { "R8", "R9", "R10", "R11", "R12", "R13", "R14", "R15" };
    for (int i = 0; i < 8; ++i)
        Register(text, kHigh[i], r.registers[kR8 + i]);
    text.Append("CS:RIP:").AppendHex(SegmentCs(r), 4).AppendChar(':').AppendHex(r.registers[kRip], 16).Append("\r\n");
    text.Append("SS:RSP:").AppendHex(SegmentSs(r), 4).AppendChar(':').AppendHex(r.registers[kRsp], 16);
    text.Append("  RBP:").AppendHex(r.registers[kRbp], 16).Append("\r\n");
    text.Append("DS:").AppendHex(r.segDs, 4).Append("  ES:").AppendHex(r.segEs, 4);
    text.Append("  FS:").AppendHex(SegmentFs(r), 4).Append("  GS:").AppendHex(SegmentGs(r), 4).Append("\r\n");
    text.Append("Flags:").AppendHex(r.registers[kEflags] & 0xFFFFFFFF, 8).Append("\r\n");
}

} // namespace taluvo::debug
