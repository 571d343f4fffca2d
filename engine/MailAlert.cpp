#include "engine/MailAlert.h"

#include "core/DebugTracer.h"
#include "core/WorkerThread.h"
#include "core/prefs/Preferences.h"
#include "core/prefs/RecipientsFile.h"
#include "engine/Alerts.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

TRACE_MODULE("CMainFrame");

class CMailAlertWorker : public CWorkerThread {
public:
    CMailAlertWorker() = default;
    ~CMailAlertWorker() override { StopAndJoin(); }

    void Queue(SMailAlertSettings settings, const QString& url)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_jobs.push_back({ std::move(settings), url });
        m_changed.notify_all();
    }

    void Stop() override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_bStop = true;
            m_jobs.clear();
            m_changed.notify_all();
        }
        CWorkerThread::Stop();
    }

    bool WaitIdle(DWORD waitMs)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(
            guard, std::chrono::milliseconds(waitMs), [this] { return m_jobs.empty() && !m_bSending; });
    }

    int Finished() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_nFinished;
    }

    // The owner gives up on a worker that did not end in time: from then on it frees itself when
    // its thread ends. FALSE when the thread is past its work: the owner waits and deletes it.
    bool Abandon()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bExited)
            return false;
        m_bAbandoned = true;
        return true;
    }

    void Run() override
    {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> guard(m_lock);
                m_changed.wait(guard, [this] { return m_bStop || !m_jobs.empty(); });
                if (m_bStop)
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
                m_bSending = true;
            }
            try {
                SendUpdateMail(job.settings, job.url);
            } catch (...) {
                TRACE0(u"Exception in email processing block.\r\n");
            }
            std::lock_guard<std::mutex> guard(m_lock);
            m_bSending = false;
            ++m_nFinished;
            m_changed.notify_all();
        }
    }

    void OnExit() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bExited = true;
        if (m_bAbandoned)
            m_bAutoDelete = TRUE;
    }

private:
    struct Job {
        SMailAlertSettings settings;
        QString url;
    };
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    bool m_bStop = false;
    bool m_bSending = false;
    bool m_bExited = false;
    bool m_bAbandoned = false;
    int m_nFinished = 0;
};

CMailAlertSender::~CMailAlertSender()
{
    Shutdown(kShutdownWaitMs);
}

void CMailAlertSender::Post(CPreferences& prefs, const QString& url)
{
    SMailAlertSettings settings = ReadMailAlertSettings(prefs);
    settings.port = m_nPort;
    if (settings.recipients.empty()) {
        // The user reads the trace to learn why no alert mail came: say which file and which lines.
        QString path;
        {
            CMutexLocker guard(prefs.m_mutex);
            path = prefs.GetParam(kCSVFile)->GetString();
        }
        QString why = taluvo::prefs::DescribeRecipientsProblem(path, taluvo::prefs::CheckRecipientsFile(path));
        if (why.isEmpty())
            why = QStringLiteral("The recipients file \"%1\" gives recipients now but did not when it was read; "
                                 "OK in the options or a new start reads it again.")
                      .arg(path);
        TRACE0(u"CMainFrame::OnUpdaterNotify. The alert e-mail of \"%s\" reaches nobody. %s\r\n", url,
            why.replace(QLatin1Char('\n'), QLatin1Char(' ')));
    }
    if (!m_pWorker) {
        auto* worker = new CMailAlertWorker;
        if (!worker->Start()) {
            delete worker;
            TRACE0(u"CMainFrame::OnUpdaterNotify. Unable to start the e-mail thread; the alert is sent here.\r\n");
            SendUpdateMail(settings, url);
            return;
        }
        m_pWorker = worker;
    }
    m_pWorker->Queue(std::move(settings), url);
}

void CMailAlertSender::Shutdown(DWORD waitMs)
{
    CMailAlertWorker* worker = std::exchange(m_pWorker, nullptr);
    if (!worker)
        return;
    worker->Stop();
    if (!worker->Wait(waitMs) && worker->Abandon()) {
        TRACE0(u"CMainFrame::OnDestroy. The alert e-mail is still being sent; it ends alone.\r\n");
        return; // it frees itself
    }
    delete worker; // ended, or past its work and ending now
}

BOOL CMailAlertSender::WaitIdle(DWORD waitMs)
{
    return !m_pWorker || m_pWorker->WaitIdle(waitMs) ? TRUE : FALSE;
}

int CMailAlertSender::Finished() const
{
    return m_pWorker ? m_pWorker->Finished() : 0;
}
