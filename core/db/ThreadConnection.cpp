#include "core/db/ThreadConnection.h"

#include <string>
#include <thread>

CThreadConnection::CThreadConnection(const CSqlDatabase& program, std::function<bool()> giveUp)
{
    // A copy: the program's connection may be closed by its own thread once this one is open.
    const std::string path = program.fileName();
    if (!program.opened() || path.empty())
        throw CSqlException(SQLWRAP_ERROR, "Database not open");
    m_db.setBusyWait(program.busyWaitOf(std::this_thread::get_id()));
    m_db.setBusyGiveUp(std::move(giveUp));
    m_db.openExisting(path.c_str());
}
