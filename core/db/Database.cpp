#include "core/db/Database.h"

#include "core/Conversion.h"
#include "core/Exceptions.h"
#include "core/db/SqlBinary.h"
#include "core/prefs/Preferences.h"

#include <QByteArray>

// These operations belong to the main window; their trace lines say so.
TRACE_MODULE("CMainFrame");

CSqlDatabase m_db;

namespace {

struct STable {
    const char* name;
    const char* nameWhenPresent;  // the settings table reports itself under its old name
    const char* create;
};

const STable kTables[] = {
    {"PAGES", "PAGES", kCreatePagesTable},
    {"GROUPS", "GROUPS", kCreateGroupsTable},
    {"PREFS", "SETTINGS", kCreatePrefsTable},
};

// Undoes the statements since the savepoint when the scope is left by an exception.
class CSavepoint {
public:
    CSavepoint(CSqlDatabase& db, const char* name) : m_db(db), m_name(name)
    {
        CSqlBuffer bufSQL;
        m_db.execDML(bufSQL.format("SAVEPOINT %s;", m_name));
    }
    ~CSavepoint()
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
    CSavepoint(const CSavepoint&) = delete;
    CSavepoint& operator=(const CSavepoint&) = delete;

    void Release()
    {
        CSqlBuffer bufSQL;
        m_db.execDML(bufSQL.format("RELEASE %s;", m_name));
        m_bReleased = true;
    }

private:
    CSqlDatabase& m_db;
    const char* m_name;
    bool m_bReleased = false;
};

}  // namespace

void CheckDb(CSqlDatabase& db, CMutex& dbMutex, CPreferences& prefs)
{
    for (const STable& table : kTables) {
        TRACE2(u"CMainFrame::CheckDb - Check %hs table ...\r\n", table.name);
        if (db.hasTable(table.name)) {
            TRACE2(u"CMainFrame::CheckDb - Table %hs exists.\r\n", table.nameWhenPresent);
            continue;
        }
        TRACE2(u"CMainFrame::CheckDb - Create %hs table ...\r\n", table.name);
        db.execDML(table.create);
        TRACE2(u"CMainFrame::CheckDb - Create %hs table - OK.\r\n", table.name);
        if (table.create == kCreatePrefsTable)
            SavePrefs(db, dbMutex, prefs);
    }
}

bool SavePrefs(CSqlDatabase& db, CMutex& dbMutex, CPreferences& prefs)
{
    TRACE_SCOPE(u"CMainFrame::SavePrefs");
    try {
        AUTO_DB_LOCKER_ON(dbMutex);
        CSqlBinary binary;
        {
            CMutexLocker prefsLock(prefs.m_mutex);
            binary.assignBinary(reinterpret_cast<const unsigned char*>(&prefs.m_blob), sizeof(prefs.m_blob));
        }
        CSqlBuffer bufSQL;
        bufSQL.format("INSERT INTO PREFS (blobPrefs) VALUES (%Q);", binary.encodedText());

        // Both statements or neither: a failed insert must not leave the table empty.
        CSavepoint savepoint(db, "SavePrefs");
        db.execDML("DELETE FROM PREFS;");
        if (!(1 == db.execDML(bufSQL)))
            throw CFailException(QStringLiteral("Unable to save pereferences."), __FILE__, __LINE__,
                                 "(1 == m_db.execDML(bufSQL))");
        savepoint.Release();
        return true;
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::SavePrefs - SQL Exception. Error: %hs\r\n", e.errorMessage());
    } catch (const CCmnException& e) {
        TRACE0(u"CMainFrame::SavePrefs - Exception. Error: %s\r\n", e.GetMessage());
    }
    return false;
}

bool LoadPrefs(CSqlDatabase& db, CMutex& dbMutex, CPreferences& prefs)
{
    TRACE_SCOPE(u"CMainFrame::LoadPrefs");
    try {
        AUTO_DB_LOCKER_ON(dbMutex);
        CSqlQuery query;
        query = db.runQuery("SELECT * FROM PREFS;");
        FAIL_CHECK(!query.eof(), QStringLiteral("PREFS table is empty."));

        int iBlobLen = 0;
        const unsigned char* pBlobData = query.blobField("blobPrefs", iBlobLen);
        FAIL_CHECK(pBlobData, QStringLiteral("blob field data is NULL."));
        FAIL_CHECK(iBlobLen, QStringLiteral("blob field data length is 0."));

        // The column's bytes carry no terminator of their own.
        const QByteArray encoded(reinterpret_cast<const char*>(pBlobData), iBlobLen);
        CSqlBinary binary;
        binary.assignEncoded(encoded.constData());
        const unsigned char* record = binary.binaryData();
        const int length = binary.binaryLength();
        query.finalize();

        CMutexLocker prefsLock(prefs.m_mutex);
        prefs.AssignRecord(record, static_cast<size_t>(length));
        prefs.ParseCsvFile(prefs.GetParam("CSVFile")->GetString());
        return true;
    } catch (const CCmnException& e) {
        TRACE0(u"CMainFrame::LoadPrefs - Exception. Error: %s\r\n", e.GetMessage());
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::LoadPrefs - SQL Exception. Error: %hs\r\n", e.errorMessage());
    }
    return false;
}

QString SqlErrorText(const CSqlException& e)
{
    return QStringLiteral("SQL Error. ") + CAnsiToWide(QByteArray(e.errorMessage())).Get();
}
