// What the check lists keep of a finished check: once its result is taken, a check parked until
// its worker's thread has ended holds the outcome, not the page's text.
#include "engine/CheckLists.h"

#include "core/prefs/Preferences.h"
#include "engine/Updater.h"
#include "platform/inet/WinInet.h"
#include "tests/engine/EngineTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>

using namespace taluvo::test;

namespace {

TEST(CheckListsTest, AFinishedCheckParkedUntilItsWorkerEndsHoldsNoneOfThePageText)
{
    EnsureUiApplication();
    TempDir dir;
    PageServer server(dir, "plain");
    server.SetRoutes({ { QStringLiteral("/large"), Page(QString(1 << 20, QLatin1Char('x'))) } });
    HINTERNET session = InternetOpen(u"Taluvo", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    InternetSetStatusCallback(session, &CUpdater::WinInetCallback);
    CPreferences prefs;
    CNotifyWindow window;
    ASSERT_TRUE(window.Create(nullptr));

    CCheckLists lists;
    auto ctx = std::make_unique<SPageCtx>();
    ctx->Reset();
    ctx->m_nGroupId = 1;
    ctx->m_nPageId = 2;
    ctx->m_hNotifyWnd = window.m_hWnd;
    auto check = std::make_unique<CPageCheck>(std::move(ctx));
    check->MakeWorker(session, server.Url(QStringLiteral("/large")), &prefs);
    lists.Queue(std::move(check));

    // Taken out of the running list inside its finished notice, as the window does: its worker
    // is still in that notice, so the check stays until the worker's thread has ended.
    qsizetype textAtTheEnd = -1;
    qsizetype textAfterRelease = -1;
    bool parked = false;
    window.onFinished = [&](SPageCtx* finished) {
        textAtTheEnd = finished->m_strHtml.size();
        lists.Release(finished);
        parked = lists.m_ctxsRun.empty();
        textAfterRelease = finished->m_strHtml.size();
    };
    ASSERT_EQ(lists.CheckPendingList(), 1);
    ASSERT_TRUE(WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return textAfterRelease >= 0;
        },
        std::chrono::seconds(30)));
    EXPECT_EQ(textAtTheEnd, 1 << 20);
    EXPECT_TRUE(parked);
    EXPECT_EQ(textAfterRelease, 0);

    lists.CancelRunning(5000);
    InternetCloseHandle(session);
    taluvo::inet::WaitForRunningRequests(5000);
}

} // namespace
