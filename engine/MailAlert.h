// The alert e-mail of an updated page, sent on a thread of its own: a slow or silent mail server
// never holds the user-interface thread. Mails go out one after another in the order they were
// asked for.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

#include <cstdint>

class CPreferences;
class CMailAlertWorker;

class CMailAlertSender {
public:
    CMailAlertSender() = default;
    // Shuts down as Shutdown does, with the default bound.
    ~CMailAlertSender();
    CMailAlertSender(const CMailAlertSender&) = delete;
    CMailAlertSender& operator=(const CMailAlertSender&) = delete;

    // Takes the mail settings and recipients now and queues the notice of url; the sending
    // thread starts with the first one.
    void Post(CPreferences& prefs, const QString& url);
    // Drops the mails not started yet and waits at most waitMs for the one being sent (its own
    // time-outs bound it too). A thread still sending after that ends alone and frees itself.
    void Shutdown(DWORD waitMs);
    // Waits at most waitMs until every queued mail has been sent or has failed; TRUE when so.
    BOOL WaitIdle(DWORD waitMs);
    // The mails finished so far (sent or failed), for tests and the trace.
    int Finished() const;

    static constexpr DWORD kShutdownWaitMs = 10000;
    // The mail server's port (tests use their own).
    uint16_t m_nPort = 25;

private:
    CMailAlertWorker* m_pWorker = nullptr;
};
