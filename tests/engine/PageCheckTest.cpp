// One check's owner against a page server on loopback: the cancel in each stage of a fetch and in
// the moments around it (right after the start, right after the worker decided), the bounded wait
// for a cancelled worker, a check destroyed while its worker runs, and a context fetched twice.
#include "engine/PageCheck.h"

#include "core/WorkerThread.h"
#include "core/prefs/Preferences.h"
#include "engine/Updater.h"
#include "platform/inet/WinInet.h"
#include "platform/ui/UserApi.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace taluvo::test;

namespace {

class PageCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EnsureUiApplication();
        s_dir = new TempDir;
        s_server = new PageServer(*s_dir, "plain");
        QJsonObject hang;
        hang[QStringLiteral("hang")] = true;
        // Two whole pieces of the body at once, then a byte every 100 ms for a minute.
        QJsonObject dripping { { QStringLiteral("drip"), 0.1 }, { QStringLiteral("drip_bytes"), 600 },
            { QStringLiteral("drip_after"), 8190 } };
        s_server->SetRoutes({ { QStringLiteral("/hang"), hang }, { QStringLiteral("/dripping"), dripping },
            { QStringLiteral("/a"), Page(QStringLiteral("page a")) },
            { QStringLiteral("/unannounced"), Unannounced() } });
    }
    // A body of 3000 bytes sent without a Content-Length.
    static QJsonObject Unannounced()
    {
        QJsonObject route = Page(QString(3000, QLatin1Char('u')));
        route[QStringLiteral("no_length")] = true;
        return route;
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        delete s_dir;
    }

    void SetUp() override
    {
        m_session = InternetOpen(u"Taluvo", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
        InternetSetStatusCallback(m_session, &CUpdater::WinInetCallback);
        ASSERT_TRUE(m_window.Create(nullptr));
        m_baseWorkers = CWorkerThread::RunningWorkers();
    }
    void TearDown() override
    {
        InternetCloseHandle(m_session);
        taluvo::inet::WaitForRunningRequests(5000);
    }

    // beforeStart runs on the made worker before it starts (a test sets its hook there).
    std::unique_ptr<CPageCheck> Started(const char* path, const std::function<void(CUpdater&)>& beforeStart = {})
    {
        auto ctx = std::make_unique<SPageCtx>();
        ctx->Reset();
        ctx->m_nGroupId = 1;
        ctx->m_nPageId = 2;
        ctx->m_hNotifyWnd = m_window.m_hWnd;
        auto check = std::make_unique<CPageCheck>(std::move(ctx));
        check->MakeWorker(m_session, s_server->Url(QString::fromLatin1(path)), &m_prefs);
        ResetEvent(m_window.finished);
        ResetEvent(m_window.connected);
        m_window.notices.clear();
        if (beforeStart)
            beforeStart(*check->Ctx().m_pUpdater);
        EXPECT_TRUE(check->Start());
        return check;
    }

    // Waits for the check's finished notice and its worker's end: the context holds the outcome.
    const SPageCtx& Ended(CPageCheck& check)
    {
        EXPECT_EQ(taluvo::ui::WaitServingSends(m_window.finished, 30000), WAIT_OBJECT_0);
        EXPECT_TRUE(check.CancelAndWait(10000));
        return check.Ctx();
    }

    static inline TempDir* s_dir = nullptr;
    static inline PageServer* s_server = nullptr;
    HINTERNET m_session = nullptr;
    CPreferences m_prefs;
    CNotifyWindow m_window;
    int m_baseWorkers = 0;
};

TEST_F(PageCheckTest, ACancelBeforeTheBodyEndsTheCheckWith1223)
{
    std::unique_ptr<CPageCheck> check = Started("/hang");
    ASSERT_EQ(taluvo::ui::WaitServingSends(m_window.connected, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(check->IsRunning());
    // The server never answers: only the cancel ends the check, well within its time-outs.
    EXPECT_TRUE(check->CancelAndWait(10000));
    EXPECT_FALSE(check->IsRunning());
    EXPECT_EQ(m_window.States().back(), stateFinished);
    const SPageCtx& ctx = check->Ctx();
    EXPECT_EQ(ctx.m_dwErrorCode.load(), 1223u);
    EXPECT_EQ(ctx.m_iStatus, statusError);
    EXPECT_EQ(ctx.m_dwHttpStatusCode, 0u);
    EXPECT_TRUE(ctx.m_strHtml.isEmpty());
}

TEST_F(PageCheckTest, ACancelWhileTheBodyIsReadKeepsWhatWasRead)
{
    std::unique_ptr<CPageCheck> check = Started("/dripping");
    // Cancelled inside the first reading notice, as a dialog does it.
    bool cancelled = false;
    m_window.onReading = [&] {
        if (!cancelled) {
            cancelled = true;
            check->Cancel();
        }
    };
    ASSERT_EQ(taluvo::ui::WaitServingSends(m_window.finished, 30000), WAIT_OBJECT_0);
    m_window.onReading = nullptr;
    ASSERT_TRUE(cancelled);
    EXPECT_TRUE(check->CancelAndWait(10000));
    const SPageCtx& ctx = check->Ctx();
    EXPECT_EQ(ctx.m_dwErrorCode.load(), 1223u);
    EXPECT_EQ(ctx.m_iStatus, statusError);
    EXPECT_EQ(ctx.m_dwHttpStatusCode, 200u);
    EXPECT_GE(ctx.m_strHtml.size(), 4095);
    EXPECT_LT(ctx.m_strHtml.size(), 8190 + 600);
}

TEST_F(PageCheckTest, ACancelOnceTheFetchHasEndedLeavesItsOutcome)
{
    // A dialog, or a shutdown, may cancel or drop a check between its finished notice and the end of
    // its worker's thread: the outcome in the context must stay the fetch's own.
    std::unique_ptr<CPageCheck> check = Started("/a");
    m_window.onFinished = [&](SPageCtx*) { check->Cancel(); };
    ASSERT_EQ(taluvo::ui::WaitServingSends(m_window.finished, 30000), WAIT_OBJECT_0);
    m_window.onFinished = nullptr;
    EXPECT_TRUE(check->CancelAndWait(10000));
    const SPageCtx& ctx = check->Ctx();
    EXPECT_EQ(ctx.m_dwErrorCode.load(), 0u);
    EXPECT_EQ(ctx.m_iStatus, statusOrdinary);
    EXPECT_EQ(ctx.m_strHtml, QStringLiteral("page a"));
}

TEST_F(PageCheckTest, ACheckDestroyedWhileItsWorkerRunsCancelsAndWaitsForIt)
{
    std::unique_ptr<CPageCheck> check = Started("/hang");
    ASSERT_EQ(taluvo::ui::WaitServingSends(m_window.connected, 10000), WAIT_OBJECT_0);
    SPageCtx* ctx = &check->Ctx();
    EXPECT_NE(ctx->m_pUpdater, nullptr);
    check.reset();
    EXPECT_EQ(CWorkerThread::RunningWorkers(), m_baseWorkers);
    EXPECT_EQ(m_window.States().back(), stateFinished);

    // A check on a context its caller keeps leaves the context, and forgets its worker in it.
    SPageCtx kept;
    kept.Reset();
    kept.m_hNotifyWnd = m_window.m_hWnd;
    {
        CPageCheck borrowed(kept);
        EXPECT_FALSE(borrowed.OwnsContext());
        EXPECT_FALSE(borrowed.Start()) << "no worker made";
        borrowed.MakeWorker(m_session, s_server->Url(QStringLiteral("/a")), &m_prefs);
        EXPECT_EQ(borrowed.Url(), s_server->Url(QStringLiteral("/a")));
        ResetEvent(m_window.finished);
        ASSERT_TRUE(borrowed.Start());
        ASSERT_EQ(taluvo::ui::WaitServingSends(m_window.finished, 30000), WAIT_OBJECT_0);
    }
    EXPECT_EQ(kept.m_pUpdater, nullptr);
    EXPECT_EQ(kept.m_strHtml, QStringLiteral("page a"));
    EXPECT_EQ(kept.m_iStatus, statusOrdinary);
}

TEST_F(PageCheckTest, ACancelRightAfterStartIsKept)
{
    // The server never answers: a cancel the worker lost would leave the check to its send time-out.
    m_prefs.GetParam(kSendTimeout)->SetInt(3);
    std::unique_ptr<CPageCheck> check = Started("/hang");
    check->Cancel();
    const SPageCtx& ctx = Ended(*check);
    EXPECT_EQ(ctx.m_dwErrorCode.load(), 1223u);
    EXPECT_EQ(ctx.m_iStatus, statusError);
    EXPECT_EQ(ctx.m_dwHttpStatusCode, 0u);
}

TEST_F(PageCheckTest, ACancelAfterTheWorkerDecidedChangesNothingOfItsOutcome)
{
    // The worker is held right after it decided its outcome, before it wrote it: a cancel in that
    // moment must leave the whole outcome the worker's own, never a mix of both.
    CAutoHandle decided(CreateEvent(nullptr, TRUE, FALSE, nullptr));
    CAutoHandle release(CreateEvent(nullptr, TRUE, FALSE, nullptr));
    std::unique_ptr<CPageCheck> check = Started("/a", [&](CUpdater& worker) {
        worker.SetDecidedHook([&] {
            SetEvent(decided.Get());
            WaitForSingleObject(release.Get(), 30000);
        });
    });
    ASSERT_EQ(taluvo::ui::WaitServingSends(decided.Get(), 30000), WAIT_OBJECT_0);
    check->Cancel();
    EXPECT_TRUE(check->CancelRequested());
    SetEvent(release.Get());
    const SPageCtx& ctx = Ended(*check);
    EXPECT_EQ(ctx.m_dwErrorCode.load(), 0u);
    EXPECT_EQ(ctx.m_iStatus, statusOrdinary);
    EXPECT_EQ(ctx.m_dwHttpStatusCode, 200u);
    EXPECT_EQ(ctx.m_strHtml, QStringLiteral("page a"));
}

TEST_F(PageCheckTest, AContextFetchedAgainForgetsTheLengthAnnouncedBefore)
{
    // A page dialog downloads into the same context again: the second body announces no length,
    // so its progress is kilobytes read, not a percentage of the first body's length.
    SPageCtx kept;
    kept.Reset();
    kept.m_hNotifyWnd = m_window.m_hWnd;
    CPageCheck check(kept);
    const auto fetch = [&](const char* path) {
        check.MakeWorker(m_session, s_server->Url(QString::fromLatin1(path)), &m_prefs);
        ResetEvent(m_window.finished);
        m_window.notices.clear();
        EXPECT_TRUE(check.Start());
        EXPECT_EQ(taluvo::ui::WaitServingSends(m_window.finished, 30000), WAIT_OBJECT_0);
        std::vector<SCheckNotice> reading;
        for (LPARAM n : m_window.notices)
            if (ReadNotice(n).state == stateReadingData)
                reading.push_back(ReadNotice(n));
        return reading;
    };
    const std::vector<SCheckNotice> announced = fetch("/a");
    ASSERT_FALSE(announced.empty());
    EXPECT_TRUE(announced.back().percent);
    EXPECT_EQ(announced.back().amount, 100);
    const std::vector<SCheckNotice> unannounced = fetch("/unannounced");
    EXPECT_EQ(kept.m_dwErrorCode.load(), 0u);
    EXPECT_EQ(kept.m_strHtml.size(), 3000);
    ASSERT_FALSE(unannounced.empty());
    for (const SCheckNotice& notice : unannounced) {
        EXPECT_FALSE(notice.percent);
        EXPECT_EQ(notice.amount, 2); // 3000 units are two whole kilobytes
    }
}

} // namespace
