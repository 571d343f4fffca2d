// Counts the disk waits (xSync) SQLite asks for, by the kind of file, while it is installed as the
// process's default file layer. Every call is passed on to the real layer unchanged.
#pragma once

#include <atomic>

namespace taluvo::test {

struct SSyncCounts {
    int database = 0;
    int journal = 0; // the rollback journal
    int log = 0; // the write-ahead log
    int Total() const { return database + journal + log; }
};

class CSyncCountingVfs {
public:
    CSyncCountingVfs(); // becomes the default for connections opened from now on
    ~CSyncCountingVfs(); // the real layer is the default again
    CSyncCountingVfs(const CSyncCountingVfs&) = delete;
    CSyncCountingVfs& operator=(const CSyncCountingVfs&) = delete;

    SSyncCounts Counts() const;
    void Reset();

    // Reached from SQLite's calls into the layer.
    struct SState;
    std::atomic<int> m_database { 0 };
    std::atomic<int> m_journal { 0 };
    std::atomic<int> m_log { 0 };

private:
    SState* m_pState;
};

} // namespace taluvo::test
