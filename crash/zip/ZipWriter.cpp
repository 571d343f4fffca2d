#include "crash/zip/ZipWriter.h"

#include "crash/zip/Deflate.h"
#include "platform/base/FileDescriptor.h"
#include "platform/base/FileWrite.h"
#include "platform/base/TextCodec.h"
#include "platform/base/Time.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <new>
#include <string_view>

using namespace taluvo::zip;

namespace {

// Shared by every writer of the process; atomic only so that two threads with a writer each
// do not race on it (the value is still whichever call came last).
std::atomic<DWORD> g_lastResult { ZipResultOk };

DWORD SetLastResult(DWORD result)
{
    g_lastResult.store(result, std::memory_order_relaxed);
    return result;
}

// Header writers: non-zero when the bytes could not all be written.
int WriteRecord(CZipWriter& writer, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return 0;
    const DWORD count = static_cast<DWORD>(bytes.size());
    return writer.PutBytes(bytes.constData(), count) == count ? 0 : 1;
}

int ZipReadCallback(SDeflateState* state, BYTE* buffer, unsigned count)
{
    return static_cast<int>(static_cast<CZipWriter*>(state->owner)->ReadSource(buffer, count));
}

// The buffer is emptied even after a short write: the failure is recorded in the writer, and
// keeping the bytes would only leave the compressor without room.
void ZipFlushCallback(void* owner, const BYTE* bytes, unsigned* count)
{
    static_cast<CZipWriter*>(owner)->PutBytes(bytes, *count);
    *count = 0;
}

} // namespace

// ---- CZipWriter -----------------------------------------------------------------------------

CZipWriter::~CZipWriter()
{
    if (m_src.owned && m_src.fd >= 0)
        taluvo::CloseFile(m_src.fd);
    taluvo::UnmapMemory(m_mapping, m_mappingSize);
    if (m_fd >= 0)
        taluvo::CloseFile(m_fd);
}

DWORD CZipWriter::Create(const void* target, DWORD size, DWORD kind)
{
    taluvo::SDescriptorStatus st;
    switch (kind) {
    case ZipKindHandle: {
        m_fd = taluvo::DuplicateDescriptor(target ? *static_cast<const int*>(target) : -1);
        if (m_fd < 0)
            return ZipErrDuplicate;
        if (taluvo::GetDescriptorStatus(m_fd, st) && st.regular) {
            if (st.appendOnly) {
                // Every write lands at the end, so a header cannot be rewritten in place:
                // write it like a stream, from where the file ends now.
                m_initialOffset = st.size;
            } else {
                m_seekable = true;
                if (!taluvo::GetDescriptorOffset(m_fd, m_initialOffset))
                    m_initialOffset = 0;
            }
        }
        return ZipResultOk;
    }
    case ZipKindFile: {
        if (!target)
            return ZipErrCreate;
        const QByteArray path = taluvo::AnsiEncode(static_cast<const char16_t*>(target));
        m_fd = taluvo::CreateUserFileForWriting(path.constData());
        if (m_fd < 0)
            return ZipErrCreate;
        m_seekable = taluvo::GetDescriptorStatus(m_fd, st) && st.regular;
        return ZipResultOk;
    }
    case ZipKindMemory:
        if (size == 0)
            return ZipErrMemSize;
        if (target) {
            m_memory = static_cast<BYTE*>(const_cast<void*>(target));
        } else {
            void* view = taluvo::MapAnonymousMemory(size);
            if (!view)
                return ZipErrAlloc;
            m_mapping = view;
            m_mappingSize = size;
            m_memory = static_cast<BYTE*>(view);
        }
        m_memorySize = size;
        m_seekable = true;
        return ZipResultOk;
    default:
        return ZipErrArgs;
    }
}

void CZipWriter::ResetSource()
{
    m_src = SSource {};
}

void CZipWriter::SetSourceTimesNow()
{
    // The Unix times are UTC; only the DOS stamp is local time.
    const int64_t now = FileTimeToUnixTime(taluvo::UnixTimeNow());
    m_src.atime = m_src.mtime = m_src.ctime = now;
    m_src.dosStamp = UnixTimeToDosStamp(now);
}

DWORD CZipWriter::ReadFileInfo(int fd)
{
    taluvo::SDescriptorStatus st;
    if (!taluvo::GetDescriptorStatus(fd, st))
        return ZipErrCreate;
    if (!st.regular)
        return ZipErrNotInited;
    if (st.size > kMaxField)
        return ZipErrArgs; // the size fields hold 32 bits

    DWORD dos = 0;
    if (!st.ownerWritable)
        dos |= 0x01; // read-only
    m_src.attributes = (st.unixMode << 16) | dos;
    m_src.expectedSize = static_cast<int64_t>(st.size);

    m_src.atime = FileTimeToUnixTime(st.accessed);
    m_src.mtime = FileTimeToUnixTime(st.modified);
    m_src.ctime = FileTimeToUnixTime(st.created);
    m_src.dosStamp = UnixTimeToDosStamp(st.modified);
    return ZipResultOk;
}

DWORD CZipWriter::OpenSourceHandle(int fd, DWORD length)
{
    ResetSource();
    taluvo::SDescriptorStatus st;
    if (fd < 0 || !taluvo::GetDescriptorStatus(fd, st))
        return ZipErrArgs;
    if (st.regular) {
        if (const DWORD r = ReadFileInfo(fd))
            return r;
        if (!taluvo::SetDescriptorOffset(fd, 0))
            return ZipErrRead;
    } else {
        m_src.attributes = kAttrNotDiskFile;
        m_src.expectedSize = length != 0 ? static_cast<int64_t>(length) : -1;
        SetSourceTimesNow();
    }
    m_src.fd = fd;
    return ZipResultOk;
}

DWORD CZipWriter::OpenSourceFile(const void* name)
{
    ResetSource();
    if (!name)
        return ZipErrArgs;
    const QByteArray path = taluvo::AnsiEncode(static_cast<const char16_t*>(name));
    // Not blocking in open: a named pipe without a writer would otherwise hold the call forever.
    const int fd = taluvo::OpenFileForReading(path.constData());
    if (fd < 0)
        return ZipErrCreate;
    taluvo::SDescriptorStatus st;
    if (!taluvo::GetDescriptorStatus(fd, st) || st.folder) {
        // A folder has no contents to read: it cannot be opened as a file.
        taluvo::CloseFile(fd);
        return ZipErrCreate;
    }
    if (const DWORD r = OpenSourceHandle(fd, 0)) {
        taluvo::CloseFile(fd);
        return r;
    }
    m_src.owned = true;
    return ZipResultOk;
}

DWORD CZipWriter::OpenSourceMemory(const void* block, DWORD length)
{
    ResetSource();
    if (!block || length == 0)
        return ZipErrArgs;
    m_src.memory = static_cast<const BYTE*>(block);
    m_src.memoryLength = length;
    m_src.attributes = kAttrNotDiskFile;
    m_src.expectedSize = length;
    SetSourceTimesNow();
    return ZipResultOk;
}

DWORD CZipWriter::OpenSourceFolder()
{
    ResetSource();
    m_src.attributes = kAttrFolder;
    m_src.expectedSize = 0;
    SetSourceTimesNow();
    return ZipResultOk;
}

DWORD CZipWriter::CloseSource()
{
    DWORD result = ZipResultOk;
    if (m_src.owned && m_src.fd >= 0)
        taluvo::CloseFile(m_src.fd);
    m_src.fd = -1;
    m_src.owned = false;
    m_src.memory = nullptr;
    if (m_src.expectedSize >= 0 && static_cast<uint64_t>(m_src.expectedSize) != m_src.bytesRead)
        result = ZipErrMisSize; // the source changed while it was read; the headers take what was read
    m_src.expectedSize = static_cast<int64_t>(m_src.bytesRead);
    return result;
}

unsigned CZipWriter::ReadSource(BYTE* buffer, unsigned wanted)
{
    // After a failure the rest of the entry is useless: end its input at once.
    if (m_error != 0 || m_src.readError != 0 || wanted == 0)
        return 0;
    size_t got = 0;
    if (m_src.memory) {
        got = std::min<size_t>(wanted, m_src.memoryLength - m_src.memoryPos);
        std::memcpy(buffer, m_src.memory + m_src.memoryPos, got);
        m_src.memoryPos += static_cast<DWORD>(got);
    } else if (m_src.fd >= 0) {
        const long long n = taluvo::ReadDescriptor(m_src.fd, buffer, wanted);
        if (n < 0) {
            // A failed read is no end of input: the entry would be stored cut short. It fails
            // this entry only; the archive itself is still sound.
            m_src.readError = ZipErrRead;
            return 0;
        }
        got = static_cast<size_t>(n);
    } else {
        RecordError(ZipErrNotInited);
        return 0;
    }
    if (m_src.bytesRead + got > kMaxField) {
        RecordError(ZipErrWrite); // the uncompressed size would not fit its 32-bit field
        return 0;
    }
    m_src.bytesRead += got;
    m_src.crc = Crc32Update(m_src.crc, buffer, got);
    return static_cast<unsigned>(got);
}

DWORD CZipWriter::PutBytes(const void* bytes, DWORD count)
{
    if (count == 0)
        return 0;
    if (m_initialOffset + m_pos + count > kArchiveLimit) {
        RecordError(ZipErrWrite); // past the offsets the 32-bit fields can name
        return 0;
    }
    if (m_memory) {
        // The last byte of the block is never filled.
        if (m_pos + count >= m_memorySize) {
            RecordError(ZipErrMemSize);
            return 0;
        }
        std::memcpy(m_memory + m_pos, bytes, count);
        m_pos += count;
        return count;
    }
    if (m_fd < 0) {
        RecordError(ZipErrNotInited);
        return 0;
    }
    const DWORD done = static_cast<DWORD>(taluvo::WriteDescriptor(m_fd, bytes, count));
    m_pos += done;
    if (done != count)
        RecordError(ZipErrWrite);
    return done;
}

DWORD CZipWriter::SeekTo(uint64_t position)
{
    if (!m_seekable)
        return RecordError(ZipErrSeek);
    if (m_memory) {
        if (position >= m_memorySize)
            return RecordError(ZipErrMemSize);
    } else if (!taluvo::SetDescriptorOffset(m_fd, position + m_initialOffset)) {
        return RecordError(ZipErrSeek);
    }
    m_pos = position;
    return ZipResultOk;
}

DWORD CZipWriter::StoreEntry()
{
    for (;;) {
        const unsigned n = ReadSource(m_buffer, kBufferSize);
        if (n == 0)
            return ZipResultOk;
        const DWORD put = PutBytes(m_buffer, n);
        m_src.compressedSize += put;
        if (put != n)
            return ZipErrMisSize;
    }
}

DWORD CZipWriter::DeflateEntry(SZipEntry& entry)
{
    // About 430 KB: too large for the stack of a crashing thread.
    std::unique_ptr<SDeflateState> state(new (std::nothrow) SDeflateState);
    if (!state)
        return ZipErrAlloc;
    state->owner = this;
    state->read = ZipReadCallback;
    state->flush = ZipFlushCallback;
    m_src.compressedSize = DeflateCompress(*state, 8, &entry.internalAttr, &entry.flags, m_buffer, kBufferSize, true);
    return state->err ? ZipErrFlate : ZipResultOk;
}

DWORD CZipWriter::AddEntry(const QByteArray& name, const void* source, DWORD length, DWORD kind)
{
    if (m_error != 0)
        return ZipErrFailed;
    if (m_finished)
        return ZipErrEnded;
    if (name.isEmpty() || name.size() > kMaxNameBytes)
        return ZipErrArgs;
    if (m_entries.size() >= kMaxEntries)
        return ZipErrArgs; // the directory's entry counts hold 16 bits
    if (m_initialOffset + m_written > kMaxField)
        return ZipErrArgs;

    SZipEntry e;
    e.name = name;
    e.name.replace('\\', '/');
    if (kind == ZipKindFolder && !e.name.endsWith('/'))
        e.name.append('/');
    e.method = (kind == ZipKindFolder || HasCompressedSuffix(e.name.constData())) ? kMethodStored : kMethodDeflated;

    DWORD r;
    switch (kind) {
    case ZipKindHandle:
        r = OpenSourceHandle(source ? *static_cast<const int*>(source) : -1, length);
        break;
    case ZipKindFile:
        r = OpenSourceFile(source);
        break;
    case ZipKindMemory:
        r = OpenSourceMemory(source, length);
        break;
    case ZipKindFolder:
        r = OpenSourceFolder();
        break;
    default:
        r = ZipErrArgs;
        break;
    }
    if (r != ZipResultOk)
        return r;

    const bool sizeKnown = m_src.expectedSize >= 0;
    e.versionMadeBy = kVersionMadeBy;
    e.versionNeeded = kVersionNeeded;
    e.flags = kFlagDataDescriptor;
    e.localFlags = kFlagDataDescriptor;
    e.dosTime = m_src.dosStamp;
    e.crc = 0;
    e.compressedSize = (e.method == kMethodStored && sizeKnown) ? static_cast<DWORD>(m_src.expectedSize) : 0;
    e.uncompressedSize = sizeKnown ? static_cast<DWORD>(m_src.expectedSize) : 0xFFFFFFFF;
    e.diskNumber = 0;
    e.internalAttr = 0;
    e.externalAttr = m_src.attributes;
    e.localHeaderOffset = static_cast<DWORD>(m_written + m_initialOffset);
    e.localExtra = TimeStampExtra({ m_src.mtime, m_src.atime, m_src.ctime });
    e.centralExtra = TimeStampExtra({ m_src.mtime });
    const DWORD announcedCompressed = e.compressedSize;

    // A write that fails records its own code (0x400, or 0x30000 for a full memory block).
    auto failure = [this]() { return m_error != 0 ? m_error : ZipErrWrite; };

    if (WriteRecord(*this, LocalHeaderRecord(e)) != 0) {
        CloseSource();
        return failure();
    }
    m_written += kLocalHeaderSize + static_cast<DWORD>(e.name.size() + e.localExtra.size());
    if (m_error != 0) {
        CloseSource();
        return m_error;
    }

    DWORD dataResult = ZipResultOk;
    if (e.method == kMethodDeflated)
        dataResult = DeflateEntry(e);
    else if (kind != ZipKindFolder)
        dataResult = StoreEntry();
    CloseSource();
    m_written += m_src.compressedSize;
    if (m_error != 0)
        return m_error;
    if (dataResult != ZipResultOk || m_src.compressedSize > kMaxField)
        return ZipErrWrite;

    e.crc = m_src.crc;
    e.compressedSize = static_cast<DWORD>(m_src.compressedSize);
    e.uncompressedSize = static_cast<DWORD>(m_src.bytesRead);
    // An entry whose source could not be read to its end is taken back where the target can
    // seek; in a stream it is finished like any other, so its bytes can be stepped over, and left
    // out of the central directory that readers go by.
    const DWORD readError = m_src.readError;
    if (readError != 0 && m_seekable) {
        m_written = e.localHeaderOffset - m_initialOffset;
        m_truncateAtEnd = true;
        if (SeekTo(m_written) != ZipResultOk)
            return m_error;
        return readError;
    }

    if (m_seekable) {
        if (!(e.flags & 1))
            e.flags &= static_cast<WORD>(~kFlagDataDescriptor);
        e.localFlags = e.flags;
        if (SeekTo(e.localHeaderOffset - m_initialOffset) != ZipResultOk)
            return m_error;
        if (WriteRecord(*this, LocalHeaderRecord(e)) != 0)
            return failure();
        if (SeekTo(m_written) != ZipResultOk)
            return m_error;
    } else {
        if (e.method == kMethodStored && e.compressedSize != announcedCompressed)
            return ZipErrNoChange;
        if (WriteRecord(*this, DataDescriptorRecord(e)) != 0)
            return failure();
        m_written += kDataDescriptorSize;
        e.flags = e.localFlags;
    }
    if (readError != 0)
        return readError;
    m_entries.push_back(std::move(e));
    return ZipResultOk;
}

DWORD CZipWriter::WriteCentralDirectory()
{
    const DWORD before = m_error;
    auto failure = [&]() { return before == 0 && m_error != 0 ? m_error : ZipErrWrite; };

    const uint64_t start = m_written;
    unsigned count = 0;
    bool failed = false;
    for (const SZipEntry& e : m_entries) {
        if (!failed && WriteRecord(*this, CentralHeaderRecord(e)) != 0)
            failed = true;
        m_written += kCentralHeaderSize + static_cast<DWORD>(e.name.size() + e.centralExtra.size()) + e.commentLength;
        ++count;
    }
    m_entries.clear();
    if (failed)
        return failure();
    if (WriteRecord(*this,
            EndRecord(count, static_cast<uint32_t>(m_written - start), static_cast<uint32_t>(start + m_initialOffset)))
        != 0)
        return failure();
    m_written += kEndRecordSize;
    return ZipResultOk;
}

DWORD CZipWriter::Finish()
{
    DWORD result = ZipResultOk;
    if (!m_finished) {
        result = WriteCentralDirectory();
        m_finished = true;
    }
    if (m_mapping) {
        taluvo::UnmapMemory(m_mapping, m_mappingSize);
        m_mapping = nullptr;
        m_memory = nullptr;
    }
    if (m_fd >= 0 && m_truncateAtEnd && result == ZipResultOk
        && !taluvo::TruncateDescriptor(m_fd, m_initialOffset + m_written))
        result = RecordError(ZipErrWrite);
    if (m_fd >= 0) {
        // A file system may report a lost write only here.
        if (!taluvo::CloseFile(m_fd) && result == ZipResultOk)
            result = ZipErrWrite;
        m_fd = -1;
    }
    return result;
}

DWORD CZipWriter::FinishToMemory(void** block, DWORD* length)
{
    DWORD result = ZipResultOk;
    if (!m_finished) {
        result = WriteCentralDirectory();
        m_finished = true;
    }
    if (!m_memory) {
        *block = nullptr;
        *length = 0;
        return ZipErrNotMemory;
    }
    *block = m_memory;
    *length = static_cast<DWORD>(m_written);
    return result;
}

// ---- Handle interface -------------------------------------------------------------------------

HZIP ZipWriterCreate(const void* target, DWORD size, DWORD kind)
{
    auto* writer = new (std::nothrow) CZipWriter;
    if (!writer) {
        SetLastResult(ZipErrAlloc);
        return nullptr;
    }
    if (const DWORD r = writer->Create(target, size, kind)) {
        delete writer;
        SetLastResult(r);
        return nullptr;
    }
    auto* handle = new (std::nothrow) SZipHandle { ZipHandleWriting, writer };
    if (!handle) {
        delete writer;
        SetLastResult(ZipErrAlloc);
        return nullptr;
    }
    SetLastResult(ZipResultOk);
    return handle;
}

DWORD ZipWriterAdd(HZIP handle, LPCWSTR entryName, const void* source, DWORD length, DWORD kind)
{
    if (!handle)
        return SetLastResult(ZipErrArgs);
    if (handle->kind != ZipHandleWriting)
        return SetLastResult(ZipErrMode);
    if (!entryName)
        return SetLastResult(ZipErrArgs);
    const QByteArray name = taluvo::AnsiEncode(entryName);
    if (name.size() > kMaxNameBytes)
        return SetLastResult(ZipErrArgs);
    return SetLastResult(handle->writer->AddEntry(name, source, length, kind));
}

DWORD ZipWriterClose(HZIP handle)
{
    if (!handle)
        return SetLastResult(ZipErrArgs);
    if (handle->kind != ZipHandleWriting)
        return SetLastResult(ZipErrMode);
    const DWORD r = handle->writer->Finish();
    delete handle->writer;
    delete handle;
    return SetLastResult(r);
}

DWORD ZipWriterGetMemory(HZIP handle, void** block, DWORD* length)
{
    void* dummyBlock;
    DWORD dummyLength;
    if (!block)
        block = &dummyBlock;
    if (!length)
        length = &dummyLength;
    *block = nullptr;
    *length = 0;
    if (!handle)
        return SetLastResult(ZipErrArgs);
    if (handle->kind != ZipHandleWriting)
        return SetLastResult(ZipErrMode);
    return SetLastResult(handle->writer->FinishToMemory(block, length));
}

bool ZipWriterIsHandle(HZIP handle)
{
    return handle == nullptr || handle->kind == ZipHandleWriting;
}

DWORD ZipWriterResultText(DWORD code, char16_t* buffer, DWORD capacity)
{
    if (code == ZipResultRecent)
        code = g_lastResult.load(std::memory_order_relaxed);
    std::u16string_view text;
    switch (code) {
    case ZipResultOk:
        text = u"Success";
        break;
    case ZipErrDuplicate:
        text = u"Culdn't duplicate handle";
        break;
    case ZipErrCreate:
        text = u"Couldn't create/open file";
        break;
    case ZipErrAlloc:
        text = u"Failed to allocate memory";
        break;
    case ZipErrWrite:
        text = u"Error writing to file";
        break;
    case ZipErrNotFound:
        text = u"File not found in the zipfile";
        break;
    case ZipErrMore:
        text = u"Still more data to unzip";
        break;
    case ZipErrCorrupt:
        text = u"Zipfile is corrupt or not a zipfile";
        break;
    case ZipErrRead:
        text = u"Error reading file";
        break;
    case ZipErrArgs:
        text = u"Caller: faulty arguments";
        break;
    case ZipErrNotMemory:
        text = u"Caller: can only get memory of a memory zipfile";
        break;
    case ZipErrMemSize:
        text = u"Caller: not enough space allocated for memory zipfile";
        break;
    case ZipErrFailed:
        text = u"Caller: there was a previous error";
        break;
    case ZipErrEnded:
        text = u"Caller: additions to the zip have already been ended";
        break;
    case ZipErrMisSize:
        text = u"Zip-bug: the anticipated size turned out wrong";
        break;
    case ZipErrPartial:
        text = u"Caller: the file had already been partially unzipped";
        break;
    case ZipErrMode:
        text = u"Caller: mixing creation and opening of zip";
        break;
    case ZipErrNotInited:
        text = u"Zip-bug: internal initialisation not completed";
        break;
    case ZipErrSeek:
        text = u"Zip-bug: trying to seek the unseekable";
        break;
    case ZipErrNoChange:
        text = u"Zip-bug: tried to change mind, but not allowed";
        break;
    case ZipErrFlate:
        text = u"Zip-bug: an internal error during flation";
        break;
    default:
        text = u"unknown zip result code";
        break;
    }
    const DWORD length = static_cast<DWORD>(text.size());
    if (buffer && capacity != 0) {
        const DWORD n = std::min(length, capacity - 1);
        std::memcpy(buffer, text.data(), n * sizeof(char16_t));
        buffer[n] = 0;
    }
    return length;
}
