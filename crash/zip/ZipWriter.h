// A small ZIP archive writer: entries from files, open descriptors, memory blocks or as empty
// folders, deflated at level 8 or stored, into a new file, a duplicated descriptor or memory.
//
// Nothing here throws. Every call returns a result code, and the code of the latest call of
// ZipWriterCreate, ZipWriterAdd, ZipWriterClose or ZipWriterGetMemory is kept process-wide;
// ZipWriterResultText(ZipResultRecent, ...) gives its text.
//
// Targets and sources are passed as untyped pointers, by kind:
//   ZipKindHandle  a pointer to an int holding an open file descriptor
//   ZipKindFile    a NUL-terminated wide path (const char16_t*)
//   ZipKindMemory  a memory block (for a target: none lets the writer map one of the given size)
//   ZipKindFolder  (sources only) nothing: an empty folder entry
#pragma once

#include "crash/zip/ZipFormat.h"
#include "platform/base/WinTypes.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <vector>

constexpr DWORD ZipKindHandle = 1;
constexpr DWORD ZipKindFile = 2;
constexpr DWORD ZipKindMemory = 3;
constexpr DWORD ZipKindFolder = 4;

// Result codes. Several exist only for their texts.
constexpr DWORD ZipResultOk = 0;
constexpr DWORD ZipResultRecent = 1; // for ZipWriterResultText: the latest call's result
constexpr DWORD ZipErrDuplicate = 0x100;
constexpr DWORD ZipErrCreate = 0x200;
constexpr DWORD ZipErrAlloc = 0x300;
constexpr DWORD ZipErrWrite = 0x400;
constexpr DWORD ZipErrNotFound = 0x500;
constexpr DWORD ZipErrMore = 0x600;
constexpr DWORD ZipErrCorrupt = 0x700;
constexpr DWORD ZipErrRead = 0x800;
constexpr DWORD ZipErrArgs = 0x10000;
constexpr DWORD ZipErrNotMemory = 0x20000;
constexpr DWORD ZipErrMemSize = 0x30000;
constexpr DWORD ZipErrFailed = 0x40000;
constexpr DWORD ZipErrEnded = 0x50000;
constexpr DWORD ZipErrMisSize = 0x60000;
constexpr DWORD ZipErrPartial = 0x70000;
constexpr DWORD ZipErrMode = 0x80000;
constexpr DWORD ZipErrNotInited = 0x1000000;
constexpr DWORD ZipErrSeek = 0x2000000;
constexpr DWORD ZipErrNoChange = 0x4000000;
constexpr DWORD ZipErrFlate = 0x5000000;

// Kind word of a handle to an archive being written.
constexpr DWORD ZipHandleWriting = 2;

class CZipWriter;

struct SZipHandle {
    DWORD kind;
    CZipWriter* writer;
};
using HZIP = SZipHandle*;

// Returns none on failure (the result word tells why).
HZIP ZipWriterCreate(const void* target, DWORD size, DWORD kind);
DWORD ZipWriterAdd(HZIP handle, LPCWSTR entryName, const void* source, DWORD length, DWORD kind);
// Finishes the archive and frees the handle (also after ZipWriterGetMemory).
DWORD ZipWriterClose(HZIP handle);
// Finishes a memory archive and hands out its block and the bytes written. A block the writer
// mapped itself stays valid until ZipWriterClose.
DWORD ZipWriterGetMemory(HZIP handle, void** block, DWORD* length);
bool ZipWriterIsHandle(HZIP handle);
// Length of the code's text; copies at most capacity - 1 code units and a terminator.
DWORD ZipWriterResultText(DWORD code, char16_t* buffer, DWORD capacity);

class CZipWriter {
public:
    CZipWriter() = default;
    ~CZipWriter();
    CZipWriter(const CZipWriter&) = delete;
    CZipWriter& operator=(const CZipWriter&) = delete;

    DWORD Create(const void* target, DWORD size, DWORD kind);
    DWORD AddEntry(const QByteArray& name, const void* source, DWORD length, DWORD kind);
    DWORD Finish();
    DWORD FinishToMemory(void** block, DWORD* length);

    // Used by the compressor's callbacks and the header writers.
    unsigned ReadSource(BYTE* buffer, unsigned wanted);
    DWORD PutBytes(const void* bytes, DWORD count);
    DWORD RecordError(DWORD code)
    {
        if (m_error == 0)
            m_error = code;
        return m_error;
    }
    DWORD Error() const { return m_error; }

    // Largest number of entries the 16-bit counts of the directory can hold.
    static constexpr size_t kMaxEntries = 0xFFFF;
    static constexpr DWORD kBufferSize = 0x4000;

private:
    struct SSource {
        DWORD attributes = 0;
        int64_t atime = 0;
        int64_t mtime = 0;
        int64_t ctime = 0; // creation
        DWORD dosStamp = 0;
        int64_t expectedSize = -1; // -1: undetermined
        uint64_t bytesRead = 0;
        DWORD crc = 0;
        int fd = -1;
        bool owned = false;
        const BYTE* memory = nullptr;
        DWORD memoryLength = 0;
        DWORD memoryPos = 0;
        uint64_t compressedSize = 0;
        // A read of this source failed: the entry fails, the archive goes on.
        DWORD readError = 0;
    };

    void ResetSource();
    void SetSourceTimesNow();
    DWORD OpenSourceFile(const void* name);
    DWORD OpenSourceHandle(int fd, DWORD length);
    DWORD OpenSourceMemory(const void* block, DWORD length);
    DWORD OpenSourceFolder();
    DWORD CloseSource();
    DWORD DeflateEntry(SZipEntry& entry);
    DWORD StoreEntry();
    DWORD SeekTo(uint64_t position);
    DWORD WriteCentralDirectory();
    DWORD ReadFileInfo(int fd);

    int m_fd = -1;
    void* m_mapping = nullptr; // a memory archive the writer mapped itself
    DWORD m_mappingSize = 0;
    uint64_t m_initialOffset = 0;
    DWORD m_error = 0;
    uint64_t m_written = 0;
    bool m_seekable = false;
    BYTE* m_memory = nullptr;
    DWORD m_memorySize = 0;
    uint64_t m_pos = 0; // where the next byte goes, counted from the start of the archive
    bool m_finished = false;
    // An entry was taken back by seeking: the file may hold its bytes past the archive's end.
    bool m_truncateAtEnd = false;
    std::vector<SZipEntry> m_entries;
    SSource m_src;
    BYTE m_buffer[kBufferSize];
};
