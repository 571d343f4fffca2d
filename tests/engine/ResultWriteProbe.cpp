// Opens a database as the program does and writes check results through the program's own path,
// so that a test can kill it at any moment. Every result is reported on standard output only after
// its write returned: "committed <page> <value>".
//   probe <database> prepare <pages>   creates the schema, the pages and a settings row, then exits
//   probe <database> results           writes results until killed, the settings now and then
//   probe <database> exit <results>    writes that many results, then goes through the exit; before
//                                      each step it says "step <name>" and waits for a line on
//                                      standard input; "closed" at the end
// A result for page p of n carries value v with p = v % n + 1 and checksum v * 2654435761.
#include "core/Exceptions.h"
#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/db/SqlWrapper.h"
#include "core/db/WriteAheadLog.h"
#include "core/prefs/Preferences.h"
#include "engine/CheckResultStore.h"
#include "engine/PageCtx.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace {

void Say(const std::string& line)
{
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void WriteResult(CSqlDatabase& db, int pages, unsigned value)
{
    SPageCtx ctx;
    ctx.Reset();
    ctx.m_nGroupId = 1;
    ctx.m_nPageId = static_cast<WORD>(value % static_cast<unsigned>(pages) + 1);
    ctx.m_tLastChecked = value;
    ctx.m_tLastModified = kNoTime;
    ctx.m_dwCheckSum = value * 2654435761u;
    ctx.m_iStatus = statusOrdinary;
    ctx.m_dwHttpStatusCode = 200;
    StoreCheckResult(db, ctx);
    Say("committed " + std::to_string(ctx.m_nPageId) + " " + std::to_string(value));
}

// The next value after the largest stored, so a run never repeats what an earlier one reported.
unsigned NextValue(CSqlDatabase& db)
{
    CSqlQuery row = db.runQuery("SELECT MAX(lastChecked) AS v FROM PAGES WHERE lastChecked >= 0;");
    return row.isNullField("v") ? 1u : static_cast<unsigned>(row.getIntField("v")) + 1u;
}

// Waits for the test's go-ahead before an exit step.
void Step(const char* name)
{
    Say(std::string("step ") + name);
    std::string line;
    if (!std::getline(std::cin, line))
        std::exit(3);
}

int Run(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const std::string mode = argv[2];
    CSqlDatabase db;
    CMutex mutex;
    CPreferences prefs;
    db.open(argv[1]);
    UseWriteAheadLog(db);
    CheckDb(db, mutex, prefs);
    if (mode == "prepare") {
        const int pages = argc > 3 ? std::atoi(argv[3]) : 20;
        for (int id = 1; id <= pages; ++id) {
            CSqlBuffer sql;
            db.execDML(sql.format("INSERT INTO PAGES (id, groupId, url, descr, enable, interval, status) "
                                  "VALUES (%d, 1, 'http://127.0.0.1/%d', 'Page %d', 1, 60, 4);",
                id, id, id));
        }
        // A settings row that differs from the defaults.
        prefs.GetParam(kSmtpServer)->SetString(QStringLiteral("mail.example.org"));
        if (!SavePrefs(db, mutex, prefs))
            return 4;
    } else if (!LoadPrefs(db, mutex, prefs)) {
        return 4;
    }
    const int pages = db.runScalar("SELECT COUNT(*) FROM PAGES;");
    if (mode == "results") {
        for (unsigned value = NextValue(db);; ++value) {
            WriteResult(db, pages, value);
            // Now and then the settings as the user's changes store them, waited for on the disk.
            if (value % 64 == 0 && !SavePrefs(db, mutex, prefs))
                return 4;
        }
    }
    const bool stepwise = mode == "exit";
    if (stepwise) {
        const unsigned first = NextValue(db);
        for (unsigned value = first; value < first + static_cast<unsigned>(argc > 3 ? std::atoi(argv[3]) : 0); ++value)
            WriteResult(db, pages, value);
    }
    // The exit as the main window runs it.
    if (stepwise)
        Step("settings");
    SavePrefs(db, mutex, prefs);
    if (stepwise)
        Step("log");
    LeaveWriteAheadLog(db);
    if (stepwise)
        Step("compact");
    db.execDML("VACUUM;");
    if (stepwise)
        Step("close");
    db.close();
    Say("closed");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const CSqlException& e) {
        std::fprintf(stderr, "%s\n", e.errorMessage());
    } catch (const CCmnException& e) {
        std::fprintf(stderr, "%s\n", e.GetMessage().toUtf8().constData());
    }
    return 1;
}
