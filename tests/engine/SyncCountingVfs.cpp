#include "tests/engine/SyncCountingVfs.h"

#include <sqlite3.h>

#include <cstring>

namespace taluvo::test {

namespace {

// The counting file: our methods first, the real file's storage right behind it.
struct SFile {
    sqlite3_file base;
    std::atomic<int>* counter; // null for files whose waits are not counted (temporary files)
    sqlite3_file* Real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

SFile* Of(sqlite3_file* file)
{
    return reinterpret_cast<SFile*>(file);
}

int Close(sqlite3_file* f)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xClose(real);
}
int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xRead(real, buffer, amount, offset);
}
int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xWrite(real, buffer, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xTruncate(real, size);
}
int Sync(sqlite3_file* f, int flags)
{
    if (Of(f)->counter)
        ++*Of(f)->counter;
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xSync(real, flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xFileSize(real, size);
}
int Lock(sqlite3_file* f, int level)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xLock(real, level);
}
int Unlock(sqlite3_file* f, int level)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xUnlock(real, level);
}
int CheckReservedLock(sqlite3_file* f, int* result)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xCheckReservedLock(real, result);
}
int FileControl(sqlite3_file* f, int op, void* arg)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xFileControl(real, op, arg);
}
int SectorSize(sqlite3_file* f)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xSectorSize(real);
}
int DeviceCharacteristics(sqlite3_file* f)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xDeviceCharacteristics(real);
}
int ShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** address)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xShmMap(real, region, size, extend, address);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xShmLock(real, offset, n, flags);
}
void ShmBarrier(sqlite3_file* f)
{
    sqlite3_file* real = Of(f)->Real();
    real->pMethods->xShmBarrier(real);
}
int ShmUnmap(sqlite3_file* f, int deleteFlag)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xShmUnmap(real, deleteFlag);
}
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** page)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xFetch(real, offset, amount, page);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page)
{
    sqlite3_file* real = Of(f)->Real();
    return real->pMethods->xUnfetch(real, offset, page);
}

const sqlite3_io_methods kMethods = { 3, Close, Read, Write, Truncate, Sync, FileSize, Lock, Unlock, CheckReservedLock,
    FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap, Fetch, Unfetch };

} // namespace

struct CSyncCountingVfs::SState {
    sqlite3_vfs vfs;
    sqlite3_vfs* real;
    CSyncCountingVfs* owner;
};

namespace {

int Open(sqlite3_vfs* vfs, const char* name, sqlite3_file* f, int flags, int* outFlags)
{
    auto* state = static_cast<CSyncCountingVfs::SState*>(vfs->pAppData);
    SFile* file = Of(f);
    file->base.pMethods = nullptr;
    file->counter = (flags & SQLITE_OPEN_MAIN_DB) ? &state->owner->m_database
        : (flags & SQLITE_OPEN_MAIN_JOURNAL)      ? &state->owner->m_journal
        : (flags & SQLITE_OPEN_WAL)               ? &state->owner->m_log
                                                  : nullptr;
    const int rc = state->real->xOpen(state->real, name, file->Real(), flags, outFlags);
    // SQLite closes a file only when it has methods; a failed open leaves none.
    if (file->Real()->pMethods)
        file->base.pMethods = &kMethods;
    return rc;
}

} // namespace

CSyncCountingVfs::CSyncCountingVfs()
    : m_pState(new SState {})
{
    m_pState->real = sqlite3_vfs_find(nullptr);
    m_pState->owner = this;
    // The real layer's other calls (names, access, time) work unchanged through a copy of it.
    std::memcpy(&m_pState->vfs, m_pState->real, sizeof(sqlite3_vfs));
    m_pState->vfs.szOsFile = static_cast<int>(sizeof(SFile)) + m_pState->real->szOsFile;
    m_pState->vfs.zName = "taluvo-sync-counting";
    m_pState->vfs.pAppData = m_pState;
    m_pState->vfs.xOpen = Open;
    m_pState->vfs.pNext = nullptr;
    sqlite3_vfs_register(&m_pState->vfs, 1);
}

CSyncCountingVfs::~CSyncCountingVfs()
{
    sqlite3_vfs_unregister(&m_pState->vfs);
    sqlite3_vfs_register(m_pState->real, 1);
    delete m_pState;
}

SSyncCounts CSyncCountingVfs::Counts() const
{
    return { m_database.load(), m_journal.load(), m_log.load() };
}

void CSyncCountingVfs::Reset()
{
    m_database = 0;
    m_journal = 0;
    m_log = 0;
}

} // namespace taluvo::test
