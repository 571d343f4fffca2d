#include "core/db/Database.h"

#include "core/Conversion.h"
#include "core/Exceptions.h"
#include "core/db/Savepoint.h"
#include "core/db/SqlBinary.h"
#include "core/prefs/Preferences.h"

#include "core/Utils.h"
#include "platform/base/FileWrite.h"
#include "platform/base/Format.h"
#include "platform/base/Process.h"
#include "platform/base/Time.h"

#include <QByteArray>
#include <QStringList>

// These operations belong to the main window; their trace lines say so.
TRACE_MODULE("CMainFrame");

CSqlDatabase m_db;

namespace {

struct STable {
    const char* name;
    const char* nameWhenPresent; // the settings table reports itself under its old name
    const char* create;
};

const STable kTables[] = {
    { "PAGES", "PAGES", kCreatePagesTable },
    { "GROUPS", "GROUPS", kCreateGroupsTable },
    { "PREFS", "SETTINGS", kCreatePrefsTable },
};

// Copies a stored settings row that cannot be used as it stands into a new file beside the database,
// before anything of it is dropped: "database.db.settings-2026-12-10", or with "-2", "-3", ... when
// that day has one already. The row may hold the proxy password: the file is the user's alone.
void SetStoredRowAside(CSqlDatabase& db, const QByteArray& stored, const QString& what, SStoredPrefsProblem* problem)
{
    SYSTEMTIME now {};
    GetLocalTime(&now);
    const QString base
        = taluvo::Format(u"%hs.settings-%04d-%02d-%02d", db.fileName(), int(now.wYear), int(now.wMonth), int(now.wDay));
    QString aside;
    if (*db.fileName()) {
        for (int n = 1; n <= 1000 && aside.isEmpty(); ++n) {
            const QString path = n == 1 ? base : taluvo::Format(u"%s-%d", base, n);
            if (taluvo::WriteNewUserFile(
                    CWideToAnsi(path).Get().constData(), stored.constData(), static_cast<size_t>(stored.size())))
                aside = path;
            else if (!FileExists(path) && !taluvo::FolderExists(path))
                break; // nothing there and still not written: the folder refuses
        }
    }
    TRACE0(u"CMainFrame::LoadPrefs - Stored settings %s. Copied to: \"%s\".\r\n", what, aside);
    if (problem) {
        problem->what = what;
        problem->asidePath = aside;
    }
}

} // namespace

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
    // Start-up, the minute's scheduling and the tree read PAGES one group at a time; without this
    // index each group scans the whole table. A database that cannot take it (read-only, full) is
    // only slower, so its failure never stops the start.
    try {
        db.execDML("CREATE INDEX IF NOT EXISTS PAGES_groupId ON PAGES(groupId);");
    } catch (CSqlException& e) {
        TRACE0(u"CMainFrame::CheckDb - Unable to create the index of PAGES by group: %hs\r\n", e.errorMessage());
    }
}

bool SavePrefs(CSqlDatabase& db, CMutex& dbMutex, CPreferences& prefs)
{
    TRACE_SCOPE(u"CMainFrame::SavePrefs");
    try {
        AUTO_DB_LOCKER_ON(dbMutex);
        CPreferences checked;
        {
            CMutexLocker prefsLock(prefs.m_mutex);
            checked.AssignRecord(&prefs.m_blob, sizeof(prefs.m_blob));
        }
        // A value that would break the program never replaces the user's row: its default is stored.
        for (const QByteArray& name : checked.ResetBrokenValues())
            TRACE0(u"CMainFrame::SavePrefs - %hs cannot be used; its default is stored.\r\n", name);
        CSqlBinary binary;
        binary.assignBinary(reinterpret_cast<const unsigned char*>(&checked.m_blob), sizeof(checked.m_blob));
        CSqlBuffer bufSQL;
        bufSQL.format("INSERT INTO PREFS (blobPrefs) VALUES (%Q);", binary.encodedText());

        // Both statements or neither: a failed insert must not leave the table empty.
        CSavepoint savepoint(db, "SavePrefs");
        db.execDML("DELETE FROM PREFS;");
        if (!(1 == db.execDML(bufSQL)))
            throw CFailException(
                QStringLiteral("Unable to save pereferences."), __FILE__, __LINE__, "(1 == m_db.execDML(bufSQL))");
        savepoint.Release();
        return true;
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::SavePrefs - SQL Exception. Error: %hs\r\n", e.errorMessage());
    } catch (const CCmnException& e) {
        TRACE0(u"CMainFrame::SavePrefs - Exception. Error: %s\r\n", e.GetMessage());
    }
    return false;
}

bool LoadPrefs(CSqlDatabase& db, CMutex& dbMutex, CPreferences& prefs, SStoredPrefsProblem* problem)
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
        const QByteArray stored(reinterpret_cast<const char*>(pBlobData), iBlobLen);
        query.finalize();
        CSqlBinary binary;
        binary.assignEncoded(stored.constData());
        const unsigned char* record = nullptr;
        try {
            record = binary.binaryData();
        } catch (const CSqlException&) {
            SetStoredRowAside(db, stored, QStringLiteral("cannot be decoded"), problem);
            throw;
        }
        const int length = binary.binaryLength();
        // More bytes than the record holds is not a record of this program (a row that another
        // tool rewrote as UTF-8 text decodes to about twice its size): none of it is trusted.
        if (length > static_cast<int>(sizeof(PreferencesBlob_t))) {
            const QString what = taluvo::Format(u"decode to %d bytes, more than the %d of the settings record", length,
                static_cast<int>(sizeof(PreferencesBlob_t)));
            SetStoredRowAside(db, stored, what, problem);
            FAIL_CHECK_FMT(false, u"Stored settings %s.", what);
        }

        CPreferences loaded;
        loaded.AssignRecord(record, static_cast<size_t>(length));
        const std::vector<QByteArray> broken = loaded.ResetBrokenValues(static_cast<size_t>(length));
        if (!broken.empty()) {
            QStringList names;
            for (const QByteArray& name : broken)
                names << QString::fromLatin1(name);
            SetStoredRowAside(db, stored,
                QStringLiteral("hold values that cannot be used (%1)").arg(names.join(QStringLiteral(", "))), problem);
        }

        CMutexLocker prefsLock(prefs.m_mutex);
        prefs.AssignRecord(&loaded.m_blob, sizeof(loaded.m_blob));
        prefs.ParseCsvFile(prefs.GetParam(kCSVFile)->GetString());
        return true;
    } catch (const CCmnException& e) {
        TRACE0(u"CMainFrame::LoadPrefs - Exception. Error: %s\r\n", e.GetMessage());
    } catch (const CSqlException& e) {
        TRACE0(u"CMainFrame::LoadPrefs - SQL Exception. Error: %hs\r\n", e.errorMessage());
    }
    return false;
}

QString SqlErrorReason(const CSqlException& e)
{
    const QByteArray message(e.errorMessage());
    const qsizetype colon = message.indexOf("]: ");
    return CAnsiToWide(colon < 0 ? message : message.mid(colon + 3)).Get();
}

QString SqlErrorText(const CSqlException& e)
{
    return QStringLiteral("SQL Error. ") + CAnsiToWide(QByteArray(e.errorMessage())).Get();
}
