#include "core/db/Savepoint.h"

#include "core/db/SqlWrapper.h"

CSavepoint::CSavepoint(CSqlDatabase& db, const char* name)
    : m_db(db)
    , m_name(name)
{
    CSqlBuffer bufSQL;
    m_db.execDML(bufSQL.format("SAVEPOINT %s;", m_name));
}

CSavepoint::~CSavepoint()
{
    if (m_bReleased)
        return;
    try {
        CSqlBuffer bufSQL;
        m_db.execDML(bufSQL.format("ROLLBACK TO %s;", m_name));
        m_db.execDML(bufSQL.format("RELEASE %s;", m_name));
    } catch (const CSqlException&) {
        // SQLite has already rolled back the whole transaction after some errors.
    }
}

void CSavepoint::Release()
{
    CSqlBuffer bufSQL;
    m_db.execDML(bufSQL.format("RELEASE %s;", m_name));
    m_bReleased = true;
}
