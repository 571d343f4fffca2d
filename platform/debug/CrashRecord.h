// The record a crashing thread leaves for the crash helper, in memory both processes map.
//
// The program fills it from inside a signal handler, so it is plain data of fixed size: no
// pointers into the program's heap, no text that needs allocation. The helper reads it once the
// program has written one byte on the socket pair, and answers with one byte when the report
// is written.
#pragma once

#include <cstddef>
#include <cstdint>

namespace taluvo::debug {

inline constexpr uint32_t kCrashRecordMagic = 0x54435231; // "TCR1"
inline constexpr size_t kCrashTextSize = 512;
inline constexpr size_t kCrashPathSize = 4096;

// x86-64 general registers in the order of the kernel's signal context (REG_R8 ... REG_CR2).
enum CrashRegister : int {
    kR8,
    kR9,
    kR10,
    kR11,
    kR12,
    kR13,
    kR14,
    kR15,
    kRdi,
    kRsi,
    kRbp,
    kRbx,
    kRdx,
    kRax,
    kRcx,
    kRsp,
    kRip,
    kEflags,
    kCsGsFs,
    kErr,
    kTrapNo,
    kOldMask,
    kCr2,
    kRegisterCount
};

struct CrashRecord {
    uint32_t magic;
    uint32_t exceptionCode; // the exception code the signal maps onto
    int32_t signalNumber;
    int32_t signalCode; // si_code
    int32_t processId;
    int32_t threadId; // the thread that crashed
    uint64_t faultAddress; // the instruction that faulted (RIP of the context)
    uint64_t dataAddress; // si_addr: the memory the fault was about
    uint64_t registers[kRegisterCount];
    uint16_t segDs, segEs; // not part of the signal context; read by the handler
    // Set for an exception that left std::terminate: its type and message.
    char exceptionText[kCrashTextSize];
    // The report file, as bytes of the program's path encoding.
    char reportPath[kCrashPathSize];
};

// The segment words the signal context keeps packed in one register.
inline uint16_t SegmentCs(const CrashRecord& r)
{
    return static_cast<uint16_t>(r.registers[kCsGsFs]);
}
inline uint16_t SegmentGs(const CrashRecord& r)
{
    return static_cast<uint16_t>(r.registers[kCsGsFs] >> 16);
}
inline uint16_t SegmentFs(const CrashRecord& r)
{
    return static_cast<uint16_t>(r.registers[kCsGsFs] >> 32);
}
inline uint16_t SegmentSs(const CrashRecord& r)
{
    return static_cast<uint16_t>(r.registers[kCsGsFs] >> 48);
}

} // namespace taluvo::debug
