// The dump's layout, read back field by field: the documented offsets of each stream, so that
// every debugger that reads the format finds what it looks for.
#include "platform/debug/MiniDump.h"
#include "platform/debug/SystemInfo.h"

#include <gtest/gtest.h>

#include <QString>

#include <csignal>
#include <cstring>
#include <map>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

using namespace taluvo::debug;

struct DumpReader {
    const std::vector<uint8_t>& bytes;
    uint32_t U32(uint32_t at) const
    {
        uint32_t v = 0;
        if (at + 4 <= bytes.size())
            std::memcpy(&v, &bytes[at], 4);
        return v;
    }
    uint64_t U64(uint32_t at) const
    {
        uint64_t v = 0;
        if (at + 8 <= bytes.size())
            std::memcpy(&v, &bytes[at], 8);
        return v;
    }
    uint16_t U16(uint32_t at) const { return static_cast<uint16_t>(U32(at)); }
    std::u16string String(uint32_t rva) const
    {
        const uint32_t length = U32(rva);
        std::u16string s(length / 2, u'\0');
        if (rva + 4 + length <= bytes.size())
            std::memcpy(s.data(), &bytes[rva + 4], length);
        return s;
    }
};

CrashRecord RecordOfThisThread()
{
    CrashRecord record {};
    ucontext_t context;
    getcontext(&context);
    for (int i = 0; i < kRegisterCount; ++i)
        record.registers[i] = static_cast<uint64_t>(context.uc_mcontext.gregs[i]);
    record.processId = getpid();
    record.threadId = static_cast<int32_t>(syscall(SYS_gettid));
    record.signalNumber = SIGSEGV;
    record.signalCode = SEGV_MAPERR;
    record.dataAddress = 0x10;
    record.faultAddress = record.registers[kRip];
    return record;
}

TEST(MiniDump, StreamsFollowTheDocumentedLayout)
{
    const CrashRecord record = RecordOfThisThread();
    const std::vector<ModuleInfo> modules = ReadModules(getpid());
    ASSERT_FALSE(modules.empty());
    const std::vector<uint8_t> bytes = BuildMiniDump(record, modules);
    const DumpReader r { bytes };

    ASSERT_GE(bytes.size(), 32u);
    EXPECT_EQ(r.U32(0), kMiniDumpSignature);
    EXPECT_EQ(r.U32(4) & 0xFFFF, kMiniDumpVersion);
    const uint32_t count = r.U32(8);
    const uint32_t directory = r.U32(12);
    std::map<uint32_t, std::pair<uint32_t, uint32_t>> streams; // type -> size, rva
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t e = directory + i * 12;
        streams[r.U32(e)] = { r.U32(e + 4), r.U32(e + 8) };
        EXPECT_LE(uint64_t(r.U32(e + 8)) + r.U32(e + 4), bytes.size());
    }
    for (uint32_t type : { kThreadListStream, kModuleListStream, kMemoryListStream, kExceptionStream, kSystemInfoStream,
             kMiscInfoStream, kLinuxMapsStream })
        ASSERT_TRUE(streams.count(type)) << type;

    // System information: x86-64 on Linux, the kernel's version text.
    const uint32_t sys = streams[kSystemInfoStream].second;
    EXPECT_EQ(r.U16(sys), kProcessorArchitectureAmd64);
    EXPECT_EQ(r.U32(sys + 20), kPlatformLinux);
    EXPECT_EQ(bytes[sys + 6], std::min<unsigned>(ReadProcessorInfo().count, 255));
    const std::u16string version = r.String(r.U32(sys + 24));
    EXPECT_EQ(version.substr(0, 6), u"Linux ");
    EXPECT_EQ(r.U32(streams[kMiscInfoStream].second + 8), static_cast<uint32_t>(getpid()));

    // The crashed thread first, with its registers at their places in the AMD64 context.
    const uint32_t threads = streams[kThreadListStream].second;
    ASSERT_GE(r.U32(threads), 1u);
    const uint32_t t = threads + 4;
    EXPECT_EQ(r.U32(t), static_cast<uint32_t>(record.threadId));
    EXPECT_EQ(r.U32(t + 40), kContextAmd64Size);
    const uint32_t context = r.U32(t + 44);
    EXPECT_EQ(r.U32(context + 48), kContextControl | kContextInteger | kContextSegments);
    EXPECT_EQ(r.U64(context + 248), record.registers[kRip]);
    EXPECT_EQ(r.U64(context + 152), record.registers[kRsp]);
    EXPECT_EQ(r.U64(context + 160), record.registers[kRbp]);
    EXPECT_EQ(r.U64(context + 120), record.registers[kRax]);
    EXPECT_EQ(r.U64(context + 240), record.registers[kR15]);
    EXPECT_EQ(r.U16(context + 56), SegmentCs(record));
    // Its stack covers the stack pointer, and the memory list carries the same bytes.
    const uint64_t stackStart = r.U64(t + 24);
    const uint32_t stackSize = r.U32(t + 32);
    const uint32_t stackRva = r.U32(t + 36);
    EXPECT_LE(stackStart, record.registers[kRsp]);
    EXPECT_GT(stackStart + stackSize, record.registers[kRsp]);
    EXPECT_LE(stackSize, kCrashedThreadStackLimit);
    const uint32_t memory = streams[kMemoryListStream].second;
    bool listed = false;
    for (uint32_t i = 0; i < r.U32(memory); ++i) {
        const uint32_t d = memory + 4 + i * 16;
        listed = listed || (r.U64(d) == stackStart && r.U32(d + 8) == stackSize && r.U32(d + 12) == stackRva);
    }
    EXPECT_TRUE(listed);

    // Modules: base, size, name and the build id in an ELF CodeView record.
    const uint32_t list = streams[kModuleListStream].second;
    ASSERT_EQ(r.U32(list), modules.size());
    for (uint32_t i = 0; i < modules.size(); ++i) {
        const uint32_t m = list + 4 + i * 108;
        SCOPED_TRACE(modules[i].path);
        EXPECT_EQ(r.U64(m), modules[i].base);
        EXPECT_EQ(r.U32(m + 8), modules[i].size);
        const std::u16string name = r.String(r.U32(m + 20));
        EXPECT_EQ(QString::fromStdU16String(name).toStdString(), modules[i].path);
        EXPECT_EQ(r.U32(m + 24), 0xFEEF04BDu);
        if (modules[i].buildId.empty())
            continue;
        const uint32_t cvSize = r.U32(m + 76);
        const uint32_t cv = r.U32(m + 80);
        ASSERT_EQ(cvSize, 4 + modules[i].buildId.size());
        EXPECT_EQ(r.U32(cv), kCodeViewElfSignature);
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + cv + 4, bytes.begin() + cv + cvSize), modules[i].buildId);
    }

    // The exception: the signal of the crashed thread, with the same context.
    const uint32_t exception = streams[kExceptionStream].second;
    EXPECT_EQ(r.U32(exception), static_cast<uint32_t>(record.threadId));
    EXPECT_EQ(r.U32(exception + 8), static_cast<uint32_t>(SIGSEGV));
    EXPECT_EQ(r.U32(exception + 12), static_cast<uint32_t>(SEGV_MAPERR));
    EXPECT_EQ(r.U64(exception + 24), 0x10u);
    EXPECT_EQ(r.U32(exception + 164), context);

    const auto maps = streams[kLinuxMapsStream];
    const std::string mapsText(bytes.begin() + maps.second, bytes.begin() + maps.second + maps.first);
    EXPECT_NE(mapsText.find(modules[0].path), std::string::npos);
}

TEST(MiniDump, FileThatCannotBeCreatedIsReported)
{
    const CrashRecord record = RecordOfThisThread();
    EXPECT_FALSE(WriteMiniDumpFile("/proc/self/status/Crash.dmp", record, {}));
    char folder[] = "/tmp/minidump-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/Crash.dmp";
    // An older, longer dump is replaced, not overwritten in part.
    FILE* old = std::fopen(path.c_str(), "wb");
    ASSERT_NE(old, nullptr);
    const std::vector<char> junk(8 << 20, 'x');
    std::fwrite(junk.data(), 1, junk.size(), old);
    std::fclose(old);
    EXPECT_TRUE(WriteMiniDumpFile(path, record, {}));
    FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    std::fseek(in, 0, SEEK_END);
    const long size = std::ftell(in);
    std::rewind(in);
    char magic[4] = {};
    EXPECT_EQ(std::fread(magic, 1, 4, in), 4u);
    std::fclose(in);
    EXPECT_EQ(std::string(magic, 4), "MDMP");
    EXPECT_LT(size, 8 << 20);
    std::remove(path.c_str());
    rmdir(folder);
}

} // namespace
