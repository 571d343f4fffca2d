// Archives written to files, pipes and memory, read back by Python's zipfile, unzip -t,
// zipdetails and a small parser of our own for the fields the readers do not show.
#include "crash/zip/ZipWriter.h"
#include "tests/crash/zip/ZipTestData.h"
#include "tests/support/TestEnvironment.h"

#include <QString>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace taluvo::test;

namespace {

// ---- Reading archives back -------------------------------------------------------------------

uint16_t U16(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(
        static_cast<unsigned char>(b.at(at)) | (static_cast<unsigned char>(b.at(at + 1)) << 8));
}

uint32_t U32(const std::string& b, size_t at)
{
    return U16(b, at) | (static_cast<uint32_t>(U16(b, at + 2)) << 16);
}

struct SEntryView {
    // Central directory.
    uint16_t madeBy = 0, needed = 0, flags = 0, method = 0, commentLength = 0, disk = 0, internal = 0;
    uint32_t dos = 0, crc = 0, csize = 0, usize = 0, external = 0, offset = 0;
    std::string name, centralExtra;
    // Local header.
    uint16_t localNeeded = 0, localFlags = 0, localMethod = 0;
    uint32_t localDos = 0, localCrc = 0, localCsize = 0, localUsize = 0;
    std::string localName, localExtra;
    std::string data; // the entry's compressed bytes
    bool hasDescriptor = false;
    uint32_t descCrc = 0, descCsize = 0, descUsize = 0;
};

struct SArchiveView {
    std::vector<SEntryView> entries;
    uint16_t countDisk = 0, countTotal = 0;
    uint32_t cdSize = 0, cdOffset = 0;
};

// Parses through the end record and the central directory; fails the test on any inconsistency.
// The file's offsets count from its first byte, prefix included.
SArchiveView ParseArchive(const std::string& b)
{
    SArchiveView v;
    EXPECT_GE(b.size(), 22u);
    if (b.size() < 22)
        return v;
    const size_t end = b.size() - 22;
    EXPECT_EQ(U32(b, end), 0x06054B50u) << "no end record at the end";
    EXPECT_EQ(U16(b, end + 4), 0);
    EXPECT_EQ(U16(b, end + 6), 0);
    v.countDisk = U16(b, end + 8);
    v.countTotal = U16(b, end + 10);
    v.cdSize = U32(b, end + 12);
    v.cdOffset = U32(b, end + 16);
    EXPECT_EQ(U16(b, end + 20), 0);
    EXPECT_EQ(static_cast<size_t>(v.cdOffset) + v.cdSize, end) << "directory does not end at the end record";

    size_t at = v.cdOffset;
    for (unsigned i = 0; i < v.countTotal && at + 46 <= end; ++i) {
        SEntryView e;
        EXPECT_EQ(U32(b, at), 0x02014B50u);
        e.madeBy = U16(b, at + 4);
        e.needed = U16(b, at + 6);
        e.flags = U16(b, at + 8);
        e.method = U16(b, at + 10);
        e.dos = U32(b, at + 12);
        e.crc = U32(b, at + 16);
        e.csize = U32(b, at + 20);
        e.usize = U32(b, at + 24);
        const uint16_t nameLength = U16(b, at + 28);
        const uint16_t extraLength = U16(b, at + 30);
        e.commentLength = U16(b, at + 32);
        e.disk = U16(b, at + 34);
        e.internal = U16(b, at + 36);
        e.external = U32(b, at + 38);
        e.offset = U32(b, at + 42);
        e.name = b.substr(at + 46, nameLength);
        e.centralExtra = b.substr(at + 46 + nameLength, extraLength);
        at += 46 + nameLength + extraLength + e.commentLength;

        const size_t lh = e.offset;
        EXPECT_EQ(U32(b, lh), 0x04034B50u) << e.name;
        e.localNeeded = U16(b, lh + 4);
        e.localFlags = U16(b, lh + 6);
        e.localMethod = U16(b, lh + 8);
        e.localDos = U32(b, lh + 10);
        e.localCrc = U32(b, lh + 14);
        e.localCsize = U32(b, lh + 18);
        e.localUsize = U32(b, lh + 22);
        const uint16_t localNameLength = U16(b, lh + 26);
        const uint16_t localExtraLength = U16(b, lh + 28);
        e.localName = b.substr(lh + 30, localNameLength);
        e.localExtra = b.substr(lh + 30 + localNameLength, localExtraLength);
        const size_t data = lh + 30 + localNameLength + localExtraLength;
        e.data = b.substr(data, e.csize);
        if (e.localFlags & 8) {
            const size_t d = data + e.csize;
            e.hasDescriptor = d + 16 <= b.size() && U32(b, d) == 0x08074B50u;
            if (e.hasDescriptor) {
                e.descCrc = U32(b, d + 4);
                e.descCsize = U32(b, d + 8);
                e.descUsize = U32(b, d + 12);
            }
        }
        v.entries.push_back(e);
    }
    EXPECT_EQ(at, end) << "directory size does not match its headers";
    EXPECT_EQ(v.entries.size(), v.countTotal);
    return v;
}

const SEntryView* Find(const SArchiveView& v, const std::string& name)
{
    for (const SEntryView& e : v.entries) {
        if (e.name == name)
            return &e;
    }
    ADD_FAILURE() << "no entry " << name;
    return nullptr;
}

std::string Inflate(const std::string& deflated)
{
    std::string out;
    std::string why;
    EXPECT_TRUE(ZlibInflate(deflated, out, why)) << why;
    return out;
}

uint32_t Crc(const std::string& bytes)
{
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Content of an entry as a reader sees it.
std::string Contents(const SEntryView& e)
{
    return e.method == 8 ? Inflate(e.data) : e.data;
}

// ---- The outside readers --------------------------------------------------------------------

struct SToolResult {
    int status = -1;
    std::string output;
};

SToolResult RunTool(const std::string& command)
{
    SToolResult r;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        r.output.append(buf, n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// deadBytes: the archive holds bytes no entry of the directory names (a failed entry of a
// stream), which zipdetails reports; the readers that go by the directory must still accept it.
void ExpectReadersAccept(const std::string& path, bool deadBytes = false)
{
    const SToolResult py = RunTool("/usr/bin/python3 -W error -c 'import sys, zipfile\n"
                                   "z = zipfile.ZipFile(sys.argv[1])\n"
                                   "bad = z.testzip()\n"
                                   "for n in z.namelist(): z.read(n)\n"
                                   "print(\"corrupt: %s\" % bad if bad else \"sound\")' '"
        + path + "'");
    EXPECT_EQ(py.status, 0) << py.output;
    EXPECT_EQ(py.output, "sound\n");

    const SToolResult unzip = RunTool("unzip -t '" + path + "'");
    EXPECT_EQ(unzip.status, 0) << unzip.output;
    EXPECT_NE(unzip.output.find("No errors detected"), std::string::npos) << unzip.output;
    EXPECT_EQ(unzip.output.find("warning"), std::string::npos) << unzip.output;

    if (deadBytes)
        return;
    const SToolResult details = RunTool("zipdetails '" + path + "'");
    EXPECT_EQ(details.status, 0) << details.output;
    for (const char* bad : { "WARN", "Warn", "Error", "ERROR", "nexpected", "nvalid", "Missing" })
        EXPECT_EQ(details.output.find(bad), std::string::npos) << bad << " in:\n" << details.output;
}

// ---- Inputs ---------------------------------------------------------------------------------

std::u16string W(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

std::u16string WPath(const std::string& path)
{
    return QString::fromStdString(path).toStdU16String();
}

DWORD AddMemory(HZIP zip, const std::string& name, const std::string& bytes)
{
    return ZipWriterAdd(zip, W(name).c_str(), bytes.data(), static_cast<DWORD>(bytes.size()), ZipKindMemory);
}

DWORD AddFile(HZIP zip, const std::string& name, const std::string& path)
{
    return ZipWriterAdd(zip, W(name).c_str(), WPath(path).c_str(), 0, ZipKindFile);
}

DWORD AddFolder(HZIP zip, const std::string& name)
{
    return ZipWriterAdd(zip, W(name).c_str(), nullptr, 0, ZipKindFolder);
}

std::string ResultText(DWORD code)
{
    char16_t buf[128];
    ZipWriterResultText(code, buf, 128);
    return QString::fromStdU16String(buf).toStdString();
}

// The extended time stamp field: "UT", size, flags 7, then the times.
void ExpectTimeStamp(const std::string& extra, size_t times, uint32_t mtime)
{
    ASSERT_EQ(extra.size(), 5 + 4 * times);
    EXPECT_EQ(U16(extra, 0), 0x5455);
    EXPECT_EQ(U16(extra, 2), 1 + 4 * times);
    EXPECT_EQ(extra[4], 7);
    EXPECT_EQ(U32(extra, 5), mtime);
}

struct SFixture {
    TempDir dir;
    std::string text = MakeText(200000, 31);
    std::string html = MakeHtml(80000, 32);
    std::string textPath = dir.File("report.txt");
    std::string emptyPath = dir.File("empty.log");
    std::string toolPath = dir.File("tool");
    // Taken before any archive reads the file.
    struct stat textStat { };
    SFixture()
    {
        WriteFile(textPath, text);
        WriteFile(emptyPath, "");
        WriteFile(toolPath, html);
        ::chmod(toolPath.c_str(), 0755);
        ::stat(textPath.c_str(), &textStat);
    }
};

// The same entries for every kind of target.
void AddStandardEntries(HZIP zip, SFixture& f)
{
    EXPECT_EQ(AddFile(zip, "report.txt", f.textPath), ZipResultOk);
    EXPECT_EQ(AddMemory(zip, "page.html", f.html), ZipResultOk);
    EXPECT_EQ(AddFolder(zip, "dir\\sub"), ZipResultOk);
    EXPECT_EQ(AddMemory(zip, "photo.ZIP", f.html.substr(0, 5000)), ZipResultOk);
    EXPECT_EQ(AddMemory(zip, "a.gz.txt", f.text.substr(0, 3000)), ZipResultOk);
    EXPECT_EQ(AddFile(zip, "logs\\empty.log", f.emptyPath), ZipResultOk);
    const int fd = ::open(f.toolPath.c_str(), O_RDONLY);
    ::lseek(fd, 100, SEEK_SET); // the writer reads a disk file from its start
    EXPECT_EQ(ZipWriterAdd(zip, u"bin/tool", &fd, 0, ZipKindHandle), ZipResultOk);
    ::close(fd);
}

// Field checks common to every target; streamed tells whether data descriptors are expected.
void CheckStandardEntries(const SArchiveView& v, SFixture& f, bool streamed)
{
    ASSERT_EQ(v.entries.size(), 7u);
    const char* order[]
        = { "report.txt", "page.html", "dir/sub/", "photo.ZIP", "a.gz.txt", "logs/empty.log", "bin/tool" };
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(v.entries[i].name, order[i]);

    for (const SEntryView& e : v.entries) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.madeBy, 0x0317); // Unix, so readers keep the stored modes
        EXPECT_EQ(e.needed, 20);
        EXPECT_EQ(e.localNeeded, 20);
        EXPECT_EQ(e.localName, e.name);
        EXPECT_EQ(e.localMethod, e.method);
        EXPECT_EQ(e.localDos, e.dos);
        EXPECT_EQ(e.commentLength, 0);
        EXPECT_EQ(e.disk, 0);
        EXPECT_EQ(e.internal, 0);
        ExpectTimeStamp(e.localExtra, 3, U32(e.centralExtra, 5));
        ExpectTimeStamp(e.centralExtra, 1, U32(e.localExtra, 5));
        EXPECT_EQ(e.crc, Crc(Contents(e)));
        EXPECT_EQ(e.usize, Contents(e).size());
        if (streamed) {
            // First write stays: flags 8, CRC 0; the descriptor carries the real values.
            EXPECT_EQ(e.localFlags, 8);
            EXPECT_EQ(e.flags, 8);
            EXPECT_EQ(e.localCrc, 0u);
            ASSERT_TRUE(e.hasDescriptor);
            EXPECT_EQ(e.descCrc, e.crc);
            EXPECT_EQ(e.descCsize, e.csize);
            EXPECT_EQ(e.descUsize, e.usize);
        } else {
            EXPECT_FALSE(e.hasDescriptor);
            EXPECT_EQ(e.localFlags, e.flags);
            EXPECT_EQ(e.flags, e.method == 8 ? 2 : 0);
            EXPECT_EQ(e.localCrc, e.crc);
            EXPECT_EQ(e.localCsize, e.csize);
            EXPECT_EQ(e.localUsize, e.usize);
        }
    }

    const SEntryView* report = Find(v, "report.txt");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->method, 8);
    EXPECT_TRUE(Contents(*report) == f.text);
    const struct stat& st = f.textStat;
    EXPECT_EQ(report->external, ((S_IFREG | (st.st_mode & 0777)) << 16));
    EXPECT_EQ(U32(report->centralExtra, 5), static_cast<uint32_t>(st.st_mtim.tv_sec));
    // Reading the file may move its access time (each archive of a test reads it), so the stored
    // one lies between the time before any archive was made and the time now.
    struct stat now { };
    ::stat(f.textPath.c_str(), &now);
    EXPECT_GE(U32(report->localExtra, 9), static_cast<uint32_t>(st.st_atim.tv_sec));
    EXPECT_LE(U32(report->localExtra, 9), static_cast<uint32_t>(now.st_atim.tv_sec));
    // Creation time where the file system keeps one, else the modification time.
    struct statx sx { };
    const bool born = ::statx(AT_FDCWD, f.textPath.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME);
    EXPECT_EQ(U32(report->localExtra, 13), static_cast<uint32_t>(born ? sx.stx_btime.tv_sec : st.st_mtim.tv_sec));
    EXPECT_EQ(report->dos, UnixTimeToDosStamp(st.st_mtim.tv_sec));

    const SEntryView* page = Find(v, "page.html");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->method, 8);
    EXPECT_EQ(page->external, 0x80000000u);
    EXPECT_TRUE(Contents(*page) == f.html);

    const SEntryView* folder = Find(v, "dir/sub/");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->method, 0);
    EXPECT_EQ(folder->csize, 0u);
    EXPECT_EQ(folder->usize, 0u);
    EXPECT_EQ(folder->external, 0x41C00010u);

    const SEntryView* photo = Find(v, "photo.ZIP");
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->method, 0);
    EXPECT_EQ(photo->data, f.html.substr(0, 5000));

    const SEntryView* gzText = Find(v, "a.gz.txt");
    ASSERT_TRUE(gzText);
    EXPECT_EQ(gzText->method, 8);

    const SEntryView* empty = Find(v, "logs/empty.log");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->method, 8);
    EXPECT_EQ(empty->data, std::string("\x03\x00", 2));
    EXPECT_EQ(empty->crc, 0u);

    const SEntryView* tool = Find(v, "bin/tool");
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->external, ((S_IFREG | 0755u) << 16));
    EXPECT_TRUE(Contents(*tool) == f.html);
}

// Collects everything written to a pipe on a thread of its own.
class CPipeReader {
public:
    CPipeReader()
    {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        m_read = fds[0];
        m_write = fds[1];
        m_thread = std::thread([this] {
            char buf[65536];
            ssize_t n;
            while ((n = ::read(m_read, buf, sizeof buf)) > 0)
                m_bytes.append(buf, static_cast<size_t>(n));
        });
    }
    ~CPipeReader() { Finish(); }
    int WriteEnd() const { return m_write; }
    // Closes the write end and waits for the reader to see the end.
    const std::string& Finish()
    {
        if (m_write >= 0) {
            ::close(m_write);
            m_write = -1;
        }
        if (m_thread.joinable())
            m_thread.join();
        if (m_read >= 0) {
            ::close(m_read);
            m_read = -1;
        }
        return m_bytes;
    }

private:
    int m_read = -1;
    int m_write = -1;
    std::thread m_thread;
    std::string m_bytes;
};

} // namespace

TEST(ZipWriter, ArchiveToFile)
{
    SFixture f;
    const taluvo::test::UsualUmask umask;
    const std::string path = f.dir.File("archive.zip");
    HZIP zip = ZipWriterCreate(WPath(path).c_str(), 0, ZipKindFile);
    ASSERT_NE(zip, nullptr);
    AddStandardEntries(zip, f);
    EXPECT_EQ(ZipWriterClose(zip), ZipResultOk);
    EXPECT_EQ(ResultText(ZipResultRecent), "Success");

    const SArchiveView v = ParseArchive(ReadFile(path));
    CheckStandardEntries(v, f, false);
    ExpectReadersAccept(path);
    // Readers apply the stored modes: the executable stays executable.
    const SToolResult listing = RunTool("zipinfo '" + path + "' bin/tool");
    EXPECT_EQ(listing.status, 0) << listing.output;
    EXPECT_EQ(listing.output.rfind("-rwxr-xr-x", 0), 0u) << listing.output;
    EXPECT_EQ(taluvo::test::FileMode(path), 0600) << "the archive carries the crash report";
}

TEST(ZipWriter, ArchiveToPipeUsesDataDescriptors)
{
    SFixture f;
    CPipeReader reader;
    const int target = reader.WriteEnd();
    HZIP zip = ZipWriterCreate(&target, 0, ZipKindHandle);
    ASSERT_NE(zip, nullptr);
    AddStandardEntries(zip, f);

    // A source that is a pipe too: its size is not known beforehand.
    int src[2];
    ASSERT_EQ(::pipe2(src, O_CLOEXEC), 0);
    std::thread feeder([&] {
        size_t done = 0;
        while (done < f.text.size()) {
            const ssize_t n = ::write(src[1], f.text.data() + done, std::min<size_t>(7000, f.text.size() - done));
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        ::close(src[1]);
    });
    EXPECT_EQ(ZipWriterAdd(zip, u"streamed.txt", &src[0], 0, ZipKindHandle), ZipResultOk);
    feeder.join();
    ::close(src[0]);
    EXPECT_EQ(ZipWriterClose(zip), ZipResultOk);

    const std::string bytes = reader.Finish();
    const std::string path = f.dir.File("piped.zip");
    WriteFile(path, bytes);
    SArchiveView v = ParseArchive(bytes);
    ASSERT_EQ(v.entries.size(), 8u);
    const SEntryView streamed = v.entries.back();
    EXPECT_EQ(streamed.localUsize, 0xFFFFFFFFu); // unknown when the header was written
    EXPECT_EQ(streamed.external, 0x80000000u);
    EXPECT_TRUE(Contents(streamed) == f.text);
    v.entries.pop_back();
    CheckStandardEntries(v, f, true);
    ExpectReadersAccept(path);
}

TEST(ZipWriter, ArchiveToMemory)
{
    SFixture f;
    // The caller's block, and a block the writer maps itself.
    std::string block(1 << 20, '\0');
    for (bool own : { true, false }) {
        SCOPED_TRACE(own ? "caller's block" : "writer's mapping");
        HZIP zip = ZipWriterCreate(own ? block.data() : nullptr, 1 << 20, ZipKindMemory);
        ASSERT_NE(zip, nullptr);
        AddStandardEntries(zip, f);
        void* memory = nullptr;
        DWORD length = 0;
        ASSERT_EQ(ZipWriterGetMemory(zip, &memory, &length), ZipResultOk);
        if (own) {
            EXPECT_EQ(memory, block.data());
        }
        const std::string bytes(static_cast<const char*>(memory), length);
        // Finished: no more entries, and a second finish writes nothing.
        EXPECT_EQ(AddMemory(zip, "late.txt", "late"), ZipErrEnded);
        EXPECT_EQ(ResultText(ZipResultRecent), "Caller: additions to the zip have already been ended");
        EXPECT_EQ(ZipWriterClose(zip), ZipResultOk);

        CheckStandardEntries(ParseArchive(bytes), f, false);
        const std::string path = f.dir.File(own ? "memory1.zip" : "memory2.zip");
        WriteFile(path, bytes);
        ExpectReadersAccept(path);
    }
}

TEST(ZipWriter, MemoryBlockExactlyAsLargeAsTheArchiveFails)
{
    const std::string content = MakeText(5000, 41);
    auto build = [&](DWORD size, DWORD& length) {
        std::string block(size, '\0');
        HZIP zip = ZipWriterCreate(block.data(), size, ZipKindMemory);
        EXPECT_NE(zip, nullptr);
        EXPECT_EQ(AddMemory(zip, "a.txt", content), ZipResultOk);
        void* memory = nullptr;
        length = 0;
        const DWORD r = ZipWriterGetMemory(zip, &memory, &length);
        ZipWriterClose(zip);
        return r;
    };
    DWORD length = 0;
    ASSERT_EQ(build(1 << 16, length), ZipResultOk);
    DWORD ignored = 0;
    EXPECT_EQ(build(length, ignored), ZipErrMemSize); // the last byte of a block is never filled
    EXPECT_EQ(build(length + 1, ignored), ZipResultOk);

    // Too small for the entry itself: the entry fails, and so does every later one.
    std::string small(200, '\0');
    HZIP zip = ZipWriterCreate(small.data(), 200, ZipKindMemory);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddMemory(zip, "a.txt", content), ZipErrMemSize);
    EXPECT_EQ(AddMemory(zip, "b.txt", "b"), ZipErrFailed);
    ZipWriterClose(zip);
}

TEST(ZipWriter, ArchiveAfterAPrefix)
{
    SFixture f;
    const std::string prefix(1234, 'P');
    // A descriptor positioned after a prefix: seekable, offsets count from the file's start.
    // One opened for appending: written like a stream, since headers cannot be rewritten.
    for (bool append : { false, true }) {
        SCOPED_TRACE(append ? "append" : "positioned");
        const std::string path = f.dir.File(append ? "append.zip" : "positioned.zip");
        WriteFile(path, prefix);
        const int fd = ::open(path.c_str(), append ? (O_WRONLY | O_APPEND) : O_WRONLY);
        ASSERT_GE(fd, 0);
        if (!append)
            ::lseek(fd, 0, SEEK_END);
        HZIP zip = ZipWriterCreate(&fd, 0, ZipKindHandle);
        ::close(fd); // the writer holds its own duplicate
        ASSERT_NE(zip, nullptr);
        AddStandardEntries(zip, f);
        EXPECT_EQ(ZipWriterClose(zip), ZipResultOk);

        const std::string bytes = ReadFile(path);
        EXPECT_EQ(bytes.substr(0, prefix.size()), prefix);
        const SArchiveView v = ParseArchive(bytes);
        ASSERT_FALSE(v.entries.empty());
        EXPECT_EQ(v.entries[0].offset, prefix.size());
        CheckStandardEntries(v, f, append);
        ExpectReadersAccept(path);
    }
}

TEST(ZipWriter, ArgumentsHandlesAndResultTexts)
{
    TempDir dir;
    const struct {
        DWORD code;
        const char* text;
    } texts[] = {
        { 0, "Success" },
        { 0x100, "Culdn't duplicate handle" },
        { 0x800, "Error reading file" },
        { 0x30000, "Caller: not enough space allocated for memory zipfile" },
        { 0x5000000, "Zip-bug: an internal error during flation" },
        { 0x12345, "unknown zip result code" },
    };
    for (const auto& t : texts)
        EXPECT_EQ(ResultText(t.code), t.text);
    char16_t small[6];
    EXPECT_EQ(ZipWriterResultText(0x200, small, 6), 25u);
    EXPECT_EQ(std::u16string(small), u"Could");
    EXPECT_EQ(ZipWriterResultText(0x200, nullptr, 0), 25u);

    // Creation failures.
    const int badFd = -1;
    const std::string throughFile = dir.File("plain");
    WriteFile(throughFile, "x");
    const struct {
        const void* target;
        DWORD size;
        DWORD kind;
        DWORD result;
    } creates[] = {
        { &badFd, 0, ZipKindHandle, ZipErrDuplicate },
        { nullptr, 0, ZipKindHandle, ZipErrDuplicate },
        { nullptr, 0, ZipKindMemory, ZipErrMemSize },
        { nullptr, 100, 7, ZipErrArgs },
    };
    for (const auto& c : creates) {
        EXPECT_EQ(ZipWriterCreate(c.target, c.size, c.kind), nullptr);
        EXPECT_EQ(ResultText(ZipResultRecent), ResultText(c.result));
    }
    const std::u16string unwritable = WPath(throughFile + "/archive.zip");
    EXPECT_EQ(ZipWriterCreate(unwritable.c_str(), 0, ZipKindFile), nullptr);
    EXPECT_EQ(ResultText(ZipResultRecent), "Couldn't create/open file");

    // Handles.
    EXPECT_EQ(ZipWriterAdd(nullptr, u"a", "a", 1, ZipKindMemory), ZipErrArgs);
    EXPECT_EQ(ZipWriterClose(nullptr), ZipErrArgs);
    void* memory = reinterpret_cast<void*>(1);
    DWORD length = 7;
    EXPECT_EQ(ZipWriterGetMemory(nullptr, &memory, &length), ZipErrArgs);
    EXPECT_EQ(memory, nullptr);
    EXPECT_EQ(length, 0u);
    SZipHandle foreign { 1, nullptr };
    EXPECT_EQ(ZipWriterAdd(&foreign, u"a", "a", 1, ZipKindMemory), ZipErrMode);
    EXPECT_FALSE(ZipWriterIsHandle(&foreign));
    EXPECT_TRUE(ZipWriterIsHandle(nullptr));

    // Entry failures that leave the archive usable.
    HZIP zip = ZipWriterCreate(nullptr, 1 << 16, ZipKindMemory);
    ASSERT_NE(zip, nullptr);
    EXPECT_TRUE(ZipWriterIsHandle(zip));
    const int closedFd = -1;
    const std::u16string missing = WPath(dir.File("missing.txt"));
    const std::u16string folderPath = WPath(dir.Path());
    const std::u16string longName(300, u'\u00E9'); // 600 bytes once encoded
    const struct {
        const char16_t* name;
        const void* source;
        DWORD length;
        DWORD kind;
        DWORD result;
    } adds[] = {
        { u"", "a", 1, ZipKindMemory, ZipErrArgs },
        { nullptr, "a", 1, ZipKindMemory, ZipErrArgs },
        { longName.c_str(), "a", 1, ZipKindMemory, ZipErrArgs },
        { u"m", nullptr, 1, ZipKindMemory, ZipErrArgs },
        { u"m", "a", 0, ZipKindMemory, ZipErrArgs },
        { u"h", nullptr, 0, ZipKindHandle, ZipErrArgs },
        { u"h", &closedFd, 0, ZipKindHandle, ZipErrArgs },
        { u"f", missing.c_str(), 0, ZipKindFile, ZipErrCreate },
        { u"f", folderPath.c_str(), 0, ZipKindFile, ZipErrCreate },
        { u"f", nullptr, 0, ZipKindFile, ZipErrArgs },
        { u"k", "a", 1, 9, ZipErrArgs },
    };
    for (const auto& a : adds)
        EXPECT_EQ(ZipWriterAdd(zip, a.name, a.source, a.length, a.kind), a.result);
    EXPECT_EQ(AddMemory(zip, "ok.txt", "fine"), ZipResultOk);
    void* block = nullptr;
    EXPECT_EQ(ZipWriterGetMemory(zip, &block, &length), ZipResultOk);
    const SArchiveView v = ParseArchive(std::string(static_cast<const char*>(block), length));
    ASSERT_EQ(v.entries.size(), 1u);
    EXPECT_EQ(Contents(v.entries[0]), "fine");
    EXPECT_EQ(ZipWriterClose(zip), ZipResultOk);

    // Getting the memory of a file archive finishes it all the same.
    const std::string path = dir.File("file.zip");
    zip = ZipWriterCreate(WPath(path).c_str(), 0, ZipKindFile);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddMemory(zip, "x.txt", "x"), ZipResultOk);
    EXPECT_EQ(ZipWriterGetMemory(zip, &block, &length), ZipErrNotMemory);
    EXPECT_EQ(ZipWriterClose(zip), ZipResultOk);
    ExpectReadersAccept(path);
}

TEST(ZipWriter, SourceReadErrorFailsThatEntryOnly)
{
    TempDir dir;
    // Reading a folder descriptor fails: that is an error, not an empty entry. The entries before
    // and after it are kept, in a seekable file and in a pipe alike.
    const int folder = ::open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    for (const bool toPipe : { false, true }) {
        SCOPED_TRACE(toPipe ? "pipe" : "file");
        const std::string path = dir.File(toPipe ? "piped.zip" : "file.zip");
        CPipeReader reader;
        const int target = reader.WriteEnd();
        HZIP zip = toPipe ? ZipWriterCreate(&target, 0, ZipKindHandle)
                          : ZipWriterCreate(WPath(path).c_str(), 0, ZipKindFile);
        ASSERT_NE(zip, nullptr);
        EXPECT_EQ(AddMemory(zip, "before.txt", "before"), ZipResultOk);
        EXPECT_EQ(ZipWriterAdd(zip, u"folder.bin", &folder, 0, ZipKindHandle), ZipErrRead);
        EXPECT_EQ(ResultText(ZipResultRecent), "Error reading file");
        EXPECT_EQ(AddMemory(zip, "after.txt", "after"), ZipResultOk);
        EXPECT_EQ(ZipWriterClose(zip), ZipResultOk);
        const std::string piped = reader.Finish();
        if (toPipe)
            WriteFile(path, piped);
        const SArchiveView v = ParseArchive(ReadFile(path));
        ASSERT_EQ(v.entries.size(), 2u);
        EXPECT_EQ(Contents(v.entries[0]), "before");
        EXPECT_EQ(Contents(v.entries[1]), "after");
        ExpectReadersAccept(path, toPipe);
    }
    ::close(folder);
}

TEST(ZipWriter, WriteFailuresAreRecordedWithoutOverrun)
{
    SFixture f;
    // Every write to /dev/full fails; the compressor's flushes must neither overrun nor hang.
    HZIP zip = ZipWriterCreate(u"/dev/full", 0, ZipKindFile);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddMemory(zip, "big.txt", f.text), ZipErrWrite);
    EXPECT_EQ(AddMemory(zip, "next.txt", "x"), ZipErrFailed);
    EXPECT_NE(ZipWriterClose(zip), ZipResultOk);

    // A descriptor open for reading only: the writes of a deflated entry fail.
    const int readOnly = ::open(f.textPath.c_str(), O_RDONLY);
    zip = ZipWriterCreate(&readOnly, 0, ZipKindHandle);
    ::close(readOnly);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddFile(zip, "report.txt", f.textPath), ZipErrWrite);
    ZipWriterClose(zip);
}

TEST(ZipWriter, FieldLimitsAreRefusedNotTruncated)
{
    TempDir dir;
    // A source larger than the 32-bit size fields (sparse, so nothing is really written).
    const std::string hugePath = dir.File("huge.bin");
    {
        const int fd = ::open(hugePath.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 0x100000000LL + 10), 0);
        ::close(fd);
    }
    const std::string path = dir.File("limits.zip");
    HZIP zip = ZipWriterCreate(WPath(path).c_str(), 0, ZipKindFile);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddFile(zip, "huge.bin", hugePath), ZipErrArgs);
    EXPECT_EQ(AddMemory(zip, "small.txt", "still fine"), ZipResultOk);
    EXPECT_EQ(ZipWriterClose(zip), ZipResultOk);
    ExpectReadersAccept(path);

    // An archive that would reach past the offsets the 32-bit fields can name.
    const std::string farPath = dir.File("far.bin");
    const int fd = ::open(farPath.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::lseek(fd, 0xFFFFFF00LL, SEEK_SET), 0xFFFFFF00LL);
    zip = ZipWriterCreate(&fd, 0, ZipKindHandle);
    ::close(fd);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddMemory(zip, "fits.txt", "x"), ZipResultOk);
    EXPECT_EQ(AddMemory(zip, "beyond.bin", MakeRandom(1000)), ZipErrWrite);
    ZipWriterClose(zip);

    // The directory's 16-bit entry count: the 65,536th entry is refused.
    zip = ZipWriterCreate(nullptr, 16u << 20, ZipKindMemory);
    ASSERT_NE(zip, nullptr);
    DWORD r = ZipResultOk;
    for (unsigned i = 0; i < CZipWriter::kMaxEntries && r == ZipResultOk; ++i)
        r = AddFolder(zip, "d" + std::to_string(i));
    ASSERT_EQ(r, ZipResultOk);
    EXPECT_EQ(AddFolder(zip, "one-too-many"), ZipErrArgs);
    void* block = nullptr;
    DWORD length = 0;
    ASSERT_EQ(ZipWriterGetMemory(zip, &block, &length), ZipResultOk);
    const SArchiveView v = ParseArchive(std::string(static_cast<const char*>(block), length));
    EXPECT_EQ(v.countTotal, 0xFFFF);
    ZipWriterClose(zip);
}

TEST(ZipWriter, TimesOfSourcesThatAreNotFiles)
{
    // In a zone far from UTC the Unix times must still be UTC, the DOS stamp local.
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    ::setenv("TZ", "ABC-9", 1); // nine hours east of UTC
    ::tzset();

    const time_t before = std::time(nullptr);
    HZIP zip = ZipWriterCreate(nullptr, 1 << 16, ZipKindMemory);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddMemory(zip, "now.txt", "now"), ZipResultOk);
    EXPECT_EQ(AddFolder(zip, "folder"), ZipResultOk);
    const time_t after = std::time(nullptr);
    void* block = nullptr;
    DWORD length = 0;
    ASSERT_EQ(ZipWriterGetMemory(zip, &block, &length), ZipResultOk);
    const SArchiveView v = ParseArchive(std::string(static_cast<const char*>(block), length));
    ZipWriterClose(zip);

    for (const SEntryView& e : v.entries) {
        SCOPED_TRACE(e.name);
        const uint32_t mtime = U32(e.centralExtra, 5);
        EXPECT_GE(mtime, static_cast<uint32_t>(before));
        EXPECT_LE(mtime, static_cast<uint32_t>(after));
        EXPECT_EQ(U32(e.localExtra, 9), mtime);
        EXPECT_EQ(U32(e.localExtra, 13), mtime);
        struct tm local { };
        const time_t t = mtime;
        localtime_r(&t, &local);
        EXPECT_EQ(e.dos >> 11 & 0x1F, static_cast<uint32_t>(local.tm_hour));
        EXPECT_EQ(e.dos, UnixTimeToDosStamp(mtime));
    }

    if (oldTz)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(ZipWriter, TimeConversions)
{
    constexpr int64_t kDay = 86400;
    const struct {
        int64_t in;
        int64_t out;
    } clamps[] = {
        { 0, 0 },
        { 1700000000, 1700000000 },
        { -kDay + 3600, 3600 }, // 1969-12-31 01:00 -> 1970-01-01 01:00
        { -400 * kDay - 5, kDay - 5 }, // 1968, time of day 23:59:55
        { 24836 * kDay + 7200, 24836 * kDay + 7200 }, // 2037-12-31 02:00 stays
        { 24837 * kDay + 7200, 24836 * kDay + 7200 }, // 2038-01-01 02:00 -> 2037-12-31
        { (24836 + 5000) * kDay + 60, 24836 * kDay + 60 },
    };
    for (const auto& c : clamps)
        EXPECT_EQ(FileTimeToUnixTime(c.in), c.out) << c.in;

    // Before 1980 the DOS stamp is its earliest date.
    EXPECT_EQ(UnixTimeToDosStamp(100000000), 0x00210000u); // 1973
}

TEST(ZipWriter, CrcAndSuffixes)
{
    const std::string data = MakeText(10000, 51);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(data.data());
    DWORD crc = 0;
    for (size_t at = 0; at < data.size(); at += 777) {
        crc = Crc32Update(crc, bytes + at, std::min<size_t>(777, data.size() - at));
        // A read of nothing leaves the running value alone.
        EXPECT_EQ(Crc32Update(crc, bytes, 0), crc);
        EXPECT_EQ(Crc32Update(crc, nullptr, 0), crc);
    }
    EXPECT_EQ(crc, Crc(data));
    EXPECT_EQ(Crc32Update(0, reinterpret_cast<const BYTE*>("123456789"), 9), 0xCBF43926u);

    const struct {
        const char* name;
        bool compressed;
    } suffixes[] = {
        { "photo.ZIP", true },
        { "a.gz", true },
        { "b.TGZ", true },
        { "c.Z", true },
        { "d.z", true },
        { "e.arj", true },
        { "a.gz.txt", false },
        { "zip", false },
        { "dir.zip/x", false },
        { ".zoo", true },
        { "f.zipx", false },
        { "g.lzh", true },
        { "h.arc", true },
        { "i.rar", false },
    };
    for (const auto& s : suffixes)
        EXPECT_EQ(HasCompressedSuffix(s.name), s.compressed) << s.name;
}

TEST(ZipWriter, NamedPipeWithoutWriterDoesNotHang)
{
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    HZIP zip = ZipWriterCreate(nullptr, 1 << 16, ZipKindMemory);
    ASSERT_NE(zip, nullptr);
    // Nobody writes: the entry ends at once, empty, instead of waiting for a writer.
    EXPECT_EQ(AddFile(zip, "fifo", fifo), ZipResultOk);
    void* block = nullptr;
    DWORD length = 0;
    ASSERT_EQ(ZipWriterGetMemory(zip, &block, &length), ZipResultOk);
    const SArchiveView v = ParseArchive(std::string(static_cast<const char*>(block), length));
    ASSERT_EQ(v.entries.size(), 1u);
    EXPECT_EQ(v.entries[0].usize, 0u);
    EXPECT_EQ(v.entries[0].external, 0x80000000u);
    ZipWriterClose(zip);
}
