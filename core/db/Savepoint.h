// A group of statements that take effect together or not at all.
#pragma once

class CSqlDatabase;

// Undoes the statements since the savepoint when the scope is left without Release (by an
// exception). The caller holds the database lock for the whole scope.
class CSavepoint {
public:
    // Database errors are thrown.
    CSavepoint(CSqlDatabase& db, const char* name);
    ~CSavepoint();
    CSavepoint(const CSavepoint&) = delete;
    CSavepoint& operator=(const CSavepoint&) = delete;

    // Keeps the statements; database errors are thrown (nothing is kept then).
    void Release();

private:
    CSqlDatabase& m_db;
    const char* m_name;
    bool m_bReleased = false;
};
