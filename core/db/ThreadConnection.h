// A connection of one thread's own to the database file the program's connection has open.
//
// SQLite's model is a connection per thread, each with its own busy handling. A thread that reads
// the database beside the window's thread (the toolbar server's) does so on a connection of its
// own: when another program holds the file locked, the thread waits there, on its own, and holds
// no lock that the window's thread or the exit needs meanwhile.
#pragma once

#include "core/db/SqlWrapper.h"

#include <functional>

class CThreadConnection {
public:
    // Opens the file that `program` has open (never a new one), for the calling thread. It waits
    // for another connection's lock as long as `program` lets this thread wait, and gives up at
    // once when giveUp() says so (a server that stops, a connection that is being closed). Throws
    // CSqlException: "Database not open" when `program` is not open on a file of its own, else
    // what SQLite reports.
    CThreadConnection(const CSqlDatabase& program, std::function<bool()> giveUp);
    // Closes the connection: it must not outlive the program's own (the exit's checkpoint of the
    // write-ahead log is busy while another connection reads).
    ~CThreadConnection() = default;
    CThreadConnection(const CThreadConnection&) = delete;
    CThreadConnection& operator=(const CThreadConnection&) = delete;

    CSqlDatabase& db() { return m_db; }

private:
    CSqlDatabase m_db;
};
