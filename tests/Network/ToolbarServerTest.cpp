// The toolbar server on 127.0.0.1, on a port the system gives it, against Python toolbars, with a
// stand-in main window on the test's user-interface thread.
#include "tests/Network/NetworkTestSupport.h"

#include "Network/Listener.h"
#include "Network/MessageHandler.h"
#include "core/Globals.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "platform/base/Process.h"
#include "platform/ui/Clipboard.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>

using nettest::Frame;
using nettest::MakeFrame;
using nettest::MakeHeader;

TRACE_MODULE("ToolbarServerTest");

namespace {

int WorkMode()
{
    CMutexLocker lock(g_prefs.m_mutex);
    return g_prefs.GetParam(kWorkMode)->GetInt();
}

Frame Mode(DWORD mode)
{
    return { MSG_WORK_MODE, mode, QByteArray() };
}
Frame Resp(DWORD added)
{
    return { MSG_RESP_ADD_URL, added, QByteArray() };
}

QByteArray Request(DWORD group, const QByteArray& url)
{
    return MakeFrame(MSG_REQ_ADD_URL, group, url + '\0');
}

// A local process's plain connection to the server, as many as it likes.
int RawConnect(WORD port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What the server did with each connection, waited for with a bound: closed it at once, or
// greeted it with the groups list and kept it.
struct Fates {
    int greeted = 0;
    int closed = 0;
    std::vector<int> kept; // the greeted connections
};
Fates WaitForFates(const std::vector<int>& fds, bool untilClosed)
{
    Fates fates;
    std::vector<bool> decided(fds.size(), false);
    std::vector<bool> greeted(fds.size(), false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    size_t open = fds.size();
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        std::vector<pollfd> polls;
        std::vector<size_t> index;
        for (size_t i = 0; i < fds.size(); ++i)
            if (!decided[i]) {
                polls.push_back({ fds[i], POLLIN, 0 });
                index.push_back(i);
            }
        if (::poll(polls.data(), polls.size(), 200) <= 0)
            continue;
        for (size_t k = 0; k < polls.size(); ++k) {
            if (!(polls[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const size_t i = index[k];
            char buffer[4096];
            const ssize_t n = ::recv(fds[i], buffer, sizeof buffer, 0);
            if (n > 0) {
                greeted[i] = true;
                if (!untilClosed) {
                    decided[i] = true;
                    ++fates.greeted;
                    fates.kept.push_back(fds[i]);
                    --open;
                }
                continue;
            }
            decided[i] = true;
            --open;
            if (greeted[i] && !untilClosed)
                continue;
            ++fates.closed;
        }
    }
    return fates;
}

// Waits with a bound until `count` of the connections have been closed by the server (whatever it
// sent them first); returns the others, which are still open.
std::vector<int> OpenOnceClosed(const std::vector<int>& fds, size_t count)
{
    std::vector<int> open = fds;
    size_t closed = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (closed < count && std::chrono::steady_clock::now() < deadline) {
        std::vector<pollfd> polls;
        polls.reserve(open.size());
        for (int fd : open)
            polls.push_back({ fd, POLLIN, 0 });
        if (::poll(polls.data(), polls.size(), 200) <= 0)
            continue;
        std::vector<int> still;
        for (const pollfd& p : polls) {
            char buffer[4096];
            if ((p.revents & (POLLIN | POLLHUP | POLLERR)) && ::recv(p.fd, buffer, sizeof buffer, 0) <= 0) {
                ::close(p.fd);
                ++closed;
            } else {
                still.push_back(p.fd);
            }
        }
        open.swap(still);
    }
    return open;
}

void CloseAll(std::vector<int>& fds)
{
    for (int fd : fds)
        ::close(fd);
    fds.clear();
}

class ToolbarServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        dbPath = dir.File("database.db");
        m_db.open(dbPath.c_str());
        CheckDb(m_db, g_dbMutex, g_prefs);
        SetWorkMode(wmActive);
        ASSERT_TRUE(window.Create(nullptr));
        g_hMainWnd = window;
        StartServer();
    }
    void TearDown() override
    {
        if (server)
            StopServer();
        window.DestroyWindow();
        g_hMainWnd = nullptr;
        m_db.close();
    }
    // On the port given, or on one the system chooses (never the program's own 6790: another
    // suite or the user's program may hold it).
    void StartServer(size_t maxConnections = CListener::kMaxConnections,
        DWORD incompleteFrameMs = CListener::kIncompleteFrameMs, WORD onPort = 0)
    {
        server = MakeServer(onPort);
        server->m_nMaxConnections = maxConnections;
        server->m_dwIncompleteFrameMs = incompleteFrameMs;
        g_pListener = server;
        serverPort = server->GetListeningPort();
        ASSERT_TRUE(server->Start());
    }
    CListener* MakeServer(WORD onPort)
    {
        return serverMaker ? serverMaker(onPort) : new CListener("127.0.0.1", 0, onPort);
    }
    // What the main window does at shutdown.
    void StopServer()
    {
        server->SignalStop();
        server->Close();
        EXPECT_TRUE(server->Wait(INFINITE));
        delete server;
        server = nullptr;
        g_pListener = nullptr;
    }
    static void SetWorkMode(int mode)
    {
        CMutexLocker lock(g_prefs.m_mutex);
        g_prefs.GetParam(kWorkMode)->SetInt(mode);
    }
    void Sql(const char* sql)
    {
        AUTO_DB_LOCKER();
        m_db.execDML(sql);
    }
    // What the main window does after it changed a group.
    BOOL GroupsChanged()
    {
        CMutexLocker lock(server->m_lock);
        return server->SentToAllGroupsData();
    }
    bool HandlersBecome(size_t count)
    {
        return nettest::ServeUntil([&] { return server->GetHandlerCount() == count; });
    }
    // Connects toolbars and takes the groups list each receives first.
    std::vector<int> Connect(int count)
    {
        const size_t before = server->GetHandlerCount();
        std::vector<int> ids = peer.Connect(count, serverPort);
        for (int id : ids) {
            const std::vector<Frame> first = peer.Read(id, 1);
            EXPECT_EQ(first.size(), 1u);
            if (!first.empty()) {
                EXPECT_EQ(first[0].type, MSG_GROUPS_DATA);
            }
        }
        EXPECT_TRUE(HandlersBecome(before + ids.size()));
        return ids;
    }
    // Starts a local process's crowd at the server (toolbar_peer.py's Crowd, with these options).
    bool StartCrowd(nettest::ToolbarPeer& crowdPeer, QJsonObject options)
    {
        options["op"] = "crowd_start";
        options["port"] = serverPort;
        const QJsonObject started = crowdPeer.Command(options);
        EXPECT_TRUE(started["ok"].toBool() && started["error"].isNull()) << qPrintable(started["error"].toString());
        return started["ok"].toBool() && started["error"].isNull();
    }
    // The frames a request must produce: wmDisable to all, the answer to the requester, wmActive to all.
    void ExpectRequestServed(int requester, const std::vector<int>& all, DWORD added)
    {
        for (int id : all) {
            const std::vector<Frame> expected = id == requester
                ? std::vector<Frame> { Mode(wmDisable), Resp(added), Mode(wmActive) }
                : std::vector<Frame> { Mode(wmDisable), Mode(wmActive) };
            const std::vector<Frame> got = peer.Read(id, static_cast<int>(expected.size()));
            EXPECT_EQ(got, expected) << "toolbar " << id << ": " << nettest::Describe(got);
        }
    }

    taluvo::test::TempDir dir;
    std::string dbPath;
    nettest::CStandInMainWnd window;
    nettest::ToolbarPeer peer;
    CListener* server = nullptr;
    WORD serverPort = 0;
    std::function<CListener*(WORD port)> serverMaker; // a server of the test's own kind
};

TEST_F(ToolbarServerTest, GroupsListEqualsTheDatabaseOnConnectAndAfterEveryChange)
{
    // No group: one NUL, a 13-byte message.
    std::vector<int> ids = peer.Connect(2, serverPort);
    for (int id : ids) {
        const std::vector<Frame> got = peer.Read(id, 1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0], (Frame { MSG_GROUPS_DATA, wmActive, QByteArray(1, '\0') }));
    }
    ASSERT_TRUE(HandlersBecome(2));

    // Titles as stored, whatever they hold; ids that do not fit in 16 bits are left out.
    const char* changes[] = {
        "INSERT INTO GROUPS(id, title) VALUES (1, 'NEWS');",
        "INSERT INTO GROUPS(id, title) VALUES (26, 'BLOGS');",
        "INSERT INTO GROUPS(id, title) VALUES (27, NULL);",
        "INSERT INTO GROUPS(id, title) VALUES (28, '');",
        "INSERT INTO GROUPS(id, title) VALUES (29, CAST(X'C3A9FF0A41' AS TEXT));",
        "INSERT INTO GROUPS(id, title) VALUES (65536, 'CUT TO 16 BITS IT WOULD BE GROUP 0');",
        "INSERT INTO GROUPS(id, title) VALUES (65534, 'Caf' || char(233) || ' ''quoted''');",
        "UPDATE GROUPS SET title = 'NEWS 2' WHERE id = 1;",
        "DELETE FROM GROUPS WHERE id = 26;",
    };
    for (const char* change : changes) {
        Sql(change);
        const QByteArray expected = peer.OracleGroupsPayload(dbPath);
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_TRUE(GroupsChanged()) << change;
        for (int id : ids) {
            const std::vector<Frame> got = peer.Read(id, 1);
            ASSERT_EQ(got.size(), 1u) << change;
            EXPECT_EQ(got[0].type, MSG_GROUPS_DATA);
            EXPECT_EQ(got[0].param, static_cast<DWORD>(wmActive));
            EXPECT_EQ(got[0].payload.toHex(), expected.toHex()) << change;
        }
    }
    // The payload of the example: NEWS (1) and BLOGS (26) give 26 bytes.
    Sql("DELETE FROM GROUPS;");
    Sql("INSERT INTO GROUPS(id, title) VALUES (1, 'NEWS'), (26, 'BLOGS');");
    SetWorkMode(wmDisable);
    EXPECT_TRUE(GroupsChanged());
    const std::vector<Frame> got = peer.Read(ids[0], 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], (Frame { MSG_GROUPS_DATA, wmDisable, QByteArray("NEWS\n0x0001\nBLOGS\n0x001A\n\0", 26) }));

    // A toolbar that joins now gets the same list.
    const std::vector<int> late = peer.Connect(1, serverPort);
    EXPECT_EQ(peer.Read(late[0], 1), got);
}

TEST_F(ToolbarServerTest, GroupsListThatCannotBeBuiltSendsNothingAndSaysSo)
{
    const std::vector<int> ids = Connect(1);
    Sql("DROP TABLE GROUPS;");
    EXPECT_FALSE(GroupsChanged());
    // Nothing went out: the next frame the toolbar sees is the one of the next request.
    Sql("CREATE TABLE GROUPS(id INTEGER PRIMARY KEY, title TEXT, enable INTEGER, sortType INTEGER, pagesOrder BLOB);");
    peer.Send(ids[0], Request(1, "http://next/"));
    ExpectRequestServed(ids[0], ids, 1);
}

TEST_F(ToolbarServerTest, AddRequestIsHandedToTheMainWindowBetweenTheWorkModes)
{
    const std::vector<int> ids = Connect(3);
    struct Case {
        DWORD param;
        WORD group;
        LRESULT answer;
        DWORD added;
    } cases[] = { { 3, 3, 1, 1 }, { 65539, 3, 1, 1 }, { 7, 7, 0, 0 }, { 8, 8, 2, 0 } };
    const QByteArray url = "http://example.com/p\xC3\xA4ge?q=1";
    for (const Case& c : cases) {
        window.commands.clear();
        window.answer = [&](WORD) { return c.answer; };
        // While the main window runs its command, every toolbar already has wmDisable and the
        // setting says so.
        window.during = [&](const nettest::CStandInMainWnd::Command&) {
            EXPECT_EQ(WorkMode(), wmDisable);
            for (int id : ids)
                EXPECT_EQ(peer.Read(id, 1), std::vector<Frame> { Mode(wmDisable) }) << "toolbar " << id;
        };
        peer.Send(ids[1], Request(c.param, url));
        ASSERT_TRUE(nettest::ServeUntil([&] { return !window.commands.empty(); }));
        for (int id : ids) {
            const std::vector<Frame> expected = id == ids[1] ? std::vector<Frame> { Resp(c.added), Mode(wmActive) }
                                                             : std::vector<Frame> { Mode(wmActive) };
            const std::vector<Frame> got = peer.Read(id, static_cast<int>(expected.size()));
            EXPECT_EQ(got, expected) << "toolbar " << id << ": " << nettest::Describe(got);
        }
        ASSERT_EQ(window.commands.size(), 1u);
        EXPECT_EQ(window.commands[0].group, c.group);
        EXPECT_EQ(window.commands[0].tag, TOOLBAR_REQUEST_TAG);
        // Exactly the payload: the address and its NUL.
        EXPECT_EQ(window.commands[0].clipboard, url + '\0');
        EXPECT_EQ(WorkMode(), wmActive);
    }
}

TEST_F(ToolbarServerTest, RequestWithoutAWayToTheMainWindowIsAnsweredNo)
{
    const std::vector<int> ids = Connect(2);
    // Another window holds the clipboard open: the address cannot be handed over.
    ASSERT_TRUE(OpenClipboard(window));
    peer.Send(ids[0], Request(1, "http://busy/"));
    ExpectRequestServed(ids[0], ids, 0);
    CloseClipboard();
    EXPECT_TRUE(window.commands.empty());

    // The main window is gone (closing): nothing is sent to it.
    window.DestroyWindow();
    peer.Send(ids[1], Request(2, "http://gone/"));
    ExpectRequestServed(ids[1], ids, 0);
    EXPECT_TRUE(window.commands.empty());
    EXPECT_EQ(WorkMode(), wmActive);
}

TEST_F(ToolbarServerTest, MessagesOtherThanRequestsGetNoAnswer)
{
    const std::vector<int> ids = Connect(2);
    QByteArray quiet;
    for (DWORD type : std::initializer_list<DWORD> {
             MSG_NOP, MSG_RESP_ADD_URL, MSG_WORK_MODE, MSG_GROUPS_DATA, 4u, 6u, 1000u, 0xFFFFFFFFu })
        quiet += MakeFrame(type, 1, "ignored");
    quiet += MakeFrame(MSG_NOP, 0, QByteArray());
    // A request without an address, or with an empty one, is refused to its toolbar alone.
    quiet += MakeFrame(MSG_REQ_ADD_URL, 1, QByteArray());
    quiet += MakeFrame(MSG_REQ_ADD_URL, 1, QByteArray(1, '\0'));
    peer.Send(ids[0], quiet);
    EXPECT_EQ(peer.Read(ids[0], 2), (std::vector<Frame> { Resp(0), Resp(0) }));
    // Then an address without its NUL is taken up to the payload's end; the others saw only that.
    peer.Send(ids[0], MakeFrame(MSG_REQ_ADD_URL, 4, "http://no-nul/"));
    ExpectRequestServed(ids[0], ids, 1);
    ASSERT_EQ(window.commands.size(), 1u);
    EXPECT_EQ(window.commands[0].clipboard, QByteArray("http://no-nul/\0", 15));
    EXPECT_EQ(WorkMode(), wmActive);
}

TEST_F(ToolbarServerTest, FramesSplitAtEveryByteAndFramesTogetherAreServed)
{
    const std::vector<int> ids = Connect(1);
    const QByteArray frame = Request(5, "http://s/");
    for (int split = 1; split < frame.size(); ++split) {
        peer.Send(ids[0], frame, QJsonArray { split });
        ExpectRequestServed(ids[0], ids, 1);
    }
    EXPECT_EQ(window.commands.size(), static_cast<size_t>(frame.size() - 1));
    // Two requests and NOPs in one piece: served in order.
    window.commands.clear();
    peer.Send(
        ids[0], MakeFrame(MSG_NOP, 0) + Request(1, "http://one/") + MakeFrame(MSG_NOP, 0) + Request(2, "http://two/"));
    ExpectRequestServed(ids[0], ids, 1);
    ExpectRequestServed(ids[0], ids, 1);
    ASSERT_EQ(window.commands.size(), 2u);
    EXPECT_EQ(window.commands[0].clipboard, QByteArray("http://one/\0", 12));
    EXPECT_EQ(window.commands[1].clipboard, QByteArray("http://two/\0", 12));
}

TEST_F(ToolbarServerTest, MalformedFrameClosesOnlyItsConnection)
{
    const std::vector<int> ids = Connect(2);
    const DWORD lengths[] = { 0xFFFFFFFFu, 0xFFFFFFF4u, 0x80000000u, CPerfSocket::kBufferSize - MSGSIZE + 1 };
    for (DWORD length : lengths) {
        const std::vector<int> bad = peer.Connect(1, serverPort);
        ASSERT_EQ(peer.Read(bad[0], 1).size(), 1u);
        peer.Send(bad[0], MakeHeader(MSG_REQ_ADD_URL, 1, length) + QByteArray(100, 'x'));
        std::vector<Frame> after;
        EXPECT_TRUE(peer.WaitClosed(bad[0], 20, &after)) << length;
        EXPECT_TRUE(after.empty()) << nettest::Describe(after);
        ASSERT_TRUE(HandlersBecome(2)) << length;
        // The others are served as before and saw nothing of it.
        peer.Send(ids[1], Request(9, "http://still/"));
        ExpectRequestServed(ids[1], ids, 1);
    }
    EXPECT_EQ(window.commands.size(), 4u);
    // The largest frame there is goes through.
    peer.Send(
        ids[0], MakeFrame(MSG_NOP, 0, QByteArray(CPerfSocket::kBufferSize - MSGSIZE, 'n')) + Request(1, "http://big/"));
    ExpectRequestServed(ids[0], ids, 1);
}

TEST_F(ToolbarServerTest, RequestThatArrivesWithTheCloseIsStillServed)
{
    const std::vector<int> ids = Connect(2);
    peer.Send(ids[0], Request(4, "http://last-words/"), {}, true);
    EXPECT_EQ(peer.Read(ids[1], 2), (std::vector<Frame> { Mode(wmDisable), Mode(wmActive) }));
    std::vector<Frame> got;
    EXPECT_TRUE(peer.WaitClosed(ids[0], 20, &got));
    EXPECT_EQ(got, (std::vector<Frame> { Mode(wmDisable), Resp(1), Mode(wmActive) }));
    ASSERT_EQ(window.commands.size(), 1u);
    EXPECT_EQ(window.commands[0].clipboard, QByteArray("http://last-words/\0", 19));
    EXPECT_TRUE(HandlersBecome(1));
}

TEST_F(ToolbarServerTest, DisconnectedToolbarsLeaveTheListAndBroadcastsStillSucceed)
{
    const std::vector<int> ids = Connect(4);
    EXPECT_EQ(server->GetHandlerCount(), 4u);
    peer.Close(ids[1]);
    peer.Close(ids[2], true); // reset
    ASSERT_TRUE(HandlersBecome(2));
    EXPECT_TRUE(GroupsChanged());
    for (int id : { ids[0], ids[3] })
        EXPECT_EQ(peer.Read(id, 1).size(), 1u);
    // A broadcast that fails on one connection reports it, and the others still get theirs.
    {
        CMutexLocker lock(server->m_lock);
        CMessageHandler* first = server->m_handlers.front();
        CMutexLocker own(first->m_lock);
        first->CloseSocket();
    }
    EXPECT_FALSE(GroupsChanged());
    EXPECT_EQ(peer.Read(ids[3], 1).size(), 1u);
}

TEST_F(ToolbarServerTest, ShutdownFromInsideTheAddCommandDoesNotHang)
{
    const std::vector<int> ids = Connect(1);
    // The main window is destroyed while its add dialog runs: it stops the server from inside the
    // command that a handler is waiting for.
    window.during = [&](const nettest::CStandInMainWnd::Command&) { StopServer(); };
    peer.Send(ids[0], Request(1, "http://closing/"));
    ASSERT_TRUE(nettest::ServeUntil([&] { return server == nullptr; }, 30000));
    std::vector<Frame> got;
    EXPECT_TRUE(peer.WaitClosed(ids[0], 20, &got));
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], Mode(wmDisable));
    // The setting is restored once the command has returned.
    EXPECT_TRUE(nettest::ServeUntil([] { return WorkMode() == wmActive; }));
}

TEST_F(ToolbarServerTest, ServerRestartsOnItsPortAndRefusesASecondServer)
{
    EXPECT_THROW(CListener("127.0.0.1", 0, serverPort), CSocketException);
    Connect(2);
    const WORD samePort = serverPort;
    StopServer();
    StartServer(CListener::kMaxConnections, CListener::kIncompleteFrameMs, samePort);
    EXPECT_EQ(serverPort, samePort);
    const std::vector<int> ids = Connect(1);
    peer.Send(ids[0], Request(1, "http://again/"));
    ExpectRequestServed(ids[0], ids, 1);
}

TEST_F(ToolbarServerTest, TwoHundredToolbarsAreAllServedAndShutDownQuickly)
{
    constexpr int kToolbars = 200;
    constexpr int kRequests = 2;
    Sql("INSERT INTO GROUPS(id, title) VALUES (1, 'NEWS'), (2, 'BLOGS');");
    std::map<WORD, int> perGroup;
    window.answer = [&](WORD group) {
        ++perGroup[group];
        return group % 2 == 0 ? LRESULT { 1 } : LRESULT { 0 };
    };
    // The script runs until every toolbar has all it waits for; its guard only stops a hung run
    // (a starved machine takes minutes), and what was served is judged once it is done.
    constexpr int kGuardSeconds = 1200;
    const QJsonObject reply = peer.Command({ { "op", "load" }, { "port", serverPort }, { "toolbars", kToolbars },
                                               { "requests", kRequests }, { "nops", 2 }, { "guard", kGuardSeconds } },
        (kGuardSeconds + 60) * 1000);
    ASSERT_TRUE(reply["ok"].toBool()) << qPrintable(reply["error"].toString());
    EXPECT_TRUE(reply["finished"].toBool()) << "the run was stopped by its guard after " << kGuardSeconds << " s";
    const QJsonArray toolbars = reply["toolbars"].toArray();
    ASSERT_EQ(toolbars.size(), kToolbars);
    EXPECT_EQ(window.commands.size(), static_cast<size_t>(kToolbars * kRequests));
    for (int i = 0; i < kToolbars; ++i) {
        const QJsonObject bar = toolbars[i].toObject();
        EXPECT_EQ(bar["groups"].toInt(), 1) << "toolbar " << i;
        EXPECT_EQ(bar["frames"].toArray().size(), 2 * kToolbars * kRequests + kRequests) << "toolbar " << i;
        // Requests are served one at a time: the work mode alternates, and each answer sits
        // between a wmDisable and the wmActive after it.
        int answers = 0;
        DWORD expectedMode = wmDisable;
        bool inRequest = false;
        for (const auto& value : bar["frames"].toArray()) {

            const QJsonArray f = value.toArray();
            const DWORD type = static_cast<DWORD>(f[0].toInteger());
            const DWORD param = static_cast<DWORD>(f[1].toInteger());
            if (type == MSG_WORK_MODE) {
                ASSERT_EQ(param, expectedMode) << "toolbar " << i;
                inRequest = param == wmDisable;
                expectedMode = 1 - expectedMode;
            } else {
                ASSERT_EQ(type, MSG_RESP_ADD_URL) << "toolbar " << i;
                ASSERT_TRUE(inRequest) << "toolbar " << i;
                ASSERT_EQ(param, static_cast<DWORD>(((i * 100 + answers) & 0xFFFF) % 2 == 0 ? 1 : 0));
                ++answers;
            }
        }
        EXPECT_EQ(answers, kRequests) << "toolbar " << i;
    }
    for (int i = 0; i < kToolbars; ++i)
        for (int r = 0; r < kRequests; ++r)
            EXPECT_EQ(perGroup[static_cast<WORD>(i * 100 + r)], 1) << i << "/" << r;
    EXPECT_EQ(server->GetHandlerCount(), static_cast<size_t>(kToolbars));

    // Shutdown with all of them connected; every connection is closed by the time it returns.
    const auto start = std::chrono::steady_clock::now();
    StopServer();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    printf("shutdown with %d toolbars connected: %.1f ms\n", kToolbars, ms);
    const QJsonObject closed = peer.Command({ { "op", "all_closed" }, { "timeout", 10 } });
    EXPECT_TRUE(closed["closed"].toBool());
}

} // namespace

TEST_F(ToolbarServerTest, CrowdsOfConnectionsCannotCrowdOutAToolbar)
{
    // A local process opens a thousand connections and says nothing on them: past the limit each
    // new one takes the place of one of the crowd, so the limit's worth stays and the server keeps
    // serving.
    StopServer();
    constexpr size_t kLimit = 40;
    StartServer(kLimit, 300);
    // A group whose id a toolbar could not send back is left out of the list.
    Sql("INSERT INTO GROUPS(id, title) VALUES (1, 'NEWS'), (70000, 'MADE ELSEWHERE');");
    std::vector<int> idle;
    for (int i = 0; i < 1000; ++i) {
        const int fd = RawConnect(serverPort);
        ASSERT_GE(fd, 0) << "connection " << i;
        idle.push_back(fd);
    }
    idle = OpenOnceClosed(idle, idle.size() - kLimit);
    ASSERT_EQ(idle.size(), kLimit);
    EXPECT_TRUE(HandlersBecome(kLimit));

    // Connections that begin a frame and never finish it are closed once their time is up, and
    // what they held is given back: the limit has room again afterwards.
    for (size_t i = 0; i < kLimit / 2; ++i)
        ::close(idle[i]);
    idle.erase(idle.begin(), idle.begin() + kLimit / 2);
    EXPECT_TRUE(HandlersBecome(kLimit - kLimit / 2));
    std::vector<int> halfSent;
    const QByteArray start = MakeHeader(MSG_REQ_ADD_URL, 1, 100) + QByteArray("http:");
    for (size_t i = 0; i < kLimit / 2; ++i) {
        const int fd = RawConnect(serverPort);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::send(fd, start.constData(), static_cast<size_t>(start.size()), MSG_NOSIGNAL), start.size());
        halfSent.push_back(fd);
    }
    const Fates incomplete = WaitForFates(halfSent, true);
    EXPECT_EQ(incomplete.closed, static_cast<int>(kLimit / 2));
    EXPECT_TRUE(HandlersBecome(kLimit - kLimit / 2));
    CloseAll(halfSent);

    // A real toolbar still gets its groups list and its request served.
    ::close(idle.back());
    idle.pop_back();
    EXPECT_TRUE(HandlersBecome(kLimit - kLimit / 2 - 1));
    const std::vector<int> ids = peer.Connect(1, serverPort);
    const std::vector<Frame> first = peer.Read(ids[0], 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].type, MSG_GROUPS_DATA);
    EXPECT_EQ(first[0].payload, QByteArray("NEWS\n0x0001\n", 12) + '\0');
    window.answer = [](WORD) { return LRESULT { 1 }; };
    peer.Send(ids[0], Request(1, "http://still-served/"));
    ASSERT_TRUE(nettest::ServeUntil([&] { return window.commands.size() == 1; }));
    CloseAll(idle);
}

namespace {

// True while the connection is open and has nothing more to read.
bool StillOpenAndQuiet(int fd)
{
    pollfd poll { fd, POLLIN, 0 };
    return ::poll(&poll, 1, 0) == 0;
}

} // namespace

TEST_F(ToolbarServerTest, SilentConnectionsGiveWayToToolbarsWhenTheServerIsFull)
{
    // A full server closes the connection heard from most recently to make room for a new one; a
    // toolbar that has brought the user a request keeps its place.
    StopServer();
    constexpr size_t kLimit = 10;
    StartServer(kLimit);
    Sql("INSERT INTO GROUPS(id, title) VALUES (1, 'NEWS');");
    window.answer = [](WORD) { return LRESULT { 1 }; };
    const int first = Connect(1)[0];
    peer.Send(first, Request(1, "http://first/"));
    ExpectRequestServed(first, { first }, 1);

    std::vector<int> silent;
    for (size_t i = 0; i + 1 < kLimit; ++i)
        silent.push_back(RawConnect(serverPort));
    EXPECT_EQ(WaitForFates(silent, false).greeted, static_cast<int>(kLimit - 1));
    EXPECT_TRUE(HandlersBecome(kLimit));

    // The server is full: a new toolbar still gets its groups list, in place of one of the newest
    // silent ones; the oldest, quiet since before all others, stays.
    const int oldest = silent[0];
    const std::vector<int> second = peer.Connect(1, serverPort);
    const std::vector<Frame> list = peer.Read(second[0], 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].type, MSG_GROUPS_DATA);
    silent = OpenOnceClosed(silent, 1);
    ASSERT_EQ(silent.size(), kLimit - 2);
    EXPECT_EQ(silent[0], oldest);
    for (size_t i = 0; i < silent.size(); ++i)
        EXPECT_TRUE(StillOpenAndQuiet(silent[i])) << "silent connection " << i;
    EXPECT_TRUE(HandlersBecome(kLimit));
    peer.Send(second[0], Request(1, "http://second/"));
    ExpectRequestServed(second[0], { first, second[0] }, 1);

    // A crowd of thirty more: each takes the place of a silent connection or of one of its own,
    // and both toolbars, heard from after all of those, are still served.
    for (int i = 0; i < 30; ++i)
        silent.push_back(RawConnect(serverPort));
    silent = OpenOnceClosed(silent, silent.size() - (kLimit - 2));
    EXPECT_EQ(silent.size(), kLimit - 2);
    EXPECT_TRUE(HandlersBecome(kLimit));
    peer.Send(first, Request(1, "http://first-again/"));
    ExpectRequestServed(first, { first, second[0] }, 1);
    CloseAll(silent);
}

namespace {

// A real toolbar visits the server while a crowd is at it: it connects, waits for its groups list
// and leaves, ten times. Returns how many visits were greeted; the slowest greeting goes to
// worstSeconds.
int VisitTenTimes(nettest::ToolbarPeer& peer, WORD port, double& worstSeconds)
{
    int greeted = 0;
    worstSeconds = 0;
    for (int visit = 0; visit < 10; ++visit) {
        const QJsonObject reply = peer.Command({ { "op", "try_toolbar" }, { "port", port }, { "timeout", 30 } });
        EXPECT_TRUE(reply["ok"].toBool()) << qPrintable(reply["error"].toString());
        if (reply["greeted"].toBool()) {
            ++greeted;
            worstSeconds = std::max(worstSeconds, reply["seconds"].toDouble());
        }
        // The visits spread over two of the crowd's rounds.
        nettest::ServeUntil([] { return false; }, 1500);
    }
    return greeted;
}

} // namespace

TEST_F(ToolbarServerTest, ACrowdThatNeverFinishesAFrameCannotKeepAToolbarOut)
{
    // At the server's own limits: 300 connections that never send a whole frame, each closed and
    // opened again 8 s after the server took it once the server has taken them all (those the
    // server closes too, on the same rhythm).
    Sql("INSERT INTO GROUPS(id, title) VALUES (1, 'NEWS');");
    // A toolbar that has made a request keeps its place through all of it. (One that has said
    // nothing yet is a connection like the crowd's, pushed out in its turn; it is greeted again
    // when it comes back.)
    window.answer = [](WORD) { return LRESULT { 1 }; };
    const std::vector<int> regular = Connect(1);
    peer.Send(regular[0], Request(1, "http://regular/"));
    ExpectRequestServed(regular[0], regular, 1);

    nettest::ToolbarPeer crowdPeer;
    ASSERT_TRUE(StartCrowd(crowdPeer, { { "count", 300 }, { "recycle", 8 } }));

    double worst = 0;
    const int greeted = VisitTenTimes(peer, serverPort, worst);
    printf("recycled crowd: %d of 10 visits greeted, slowest greeting %.3f s\n", greeted, worst);
    EXPECT_GE(greeted, 9);

    const QJsonObject crowd = crowdPeer.Command({ { "op", "crowd_stop" } });
    ASSERT_TRUE(crowd["error"].isNull()) << qPrintable(crowd["error"].toString());
    printf("crowd: %d connections opened, %d closed by the server\n", crowd["opened"].toInt(),
        crowd["closed_by_server"].toInt());
    // The crowd did come round again, and the server did push its oldest members out.
    EXPECT_GT(crowd["opened"].toInt(), 300);
    EXPECT_GT(crowd["closed_by_server"].toInt(), 0);
    peer.Send(regular[0], Request(1, "http://regular-again/"));
    const std::vector<Frame> got = peer.Read(regular[0], 3);
    EXPECT_EQ(got, (std::vector<Frame> { Mode(wmDisable), Resp(1), Mode(wmActive) })) << nettest::Describe(got);
}

TEST_F(ToolbarServerTest, AThousandSilentAndHalfSentConnectionsAreTakenAndCannotKeepAToolbarOut)
{
    // 500 silent connections and 500 that send five bytes of a header, held open: the server takes
    // every one from the system's queue (all but its limit are closed again), and a real toolbar
    // is greeted at each visit.
    Sql("INSERT INTO GROUPS(id, title) VALUES (1, 'NEWS');");
    nettest::ToolbarPeer crowdPeer;
    ASSERT_TRUE(StartCrowd(crowdPeer, { { "count", 1000 }, { "half", 500 } }));
    QJsonObject state;
    const auto start = std::chrono::steady_clock::now();
    const bool drained = nettest::ServeUntil(
        [&] {
            state = crowdPeer.Command({ { "op", "crowd_state" } });
            return state["closed_by_server"].toInt() >= 1000 - static_cast<int>(CListener::kMaxConnections);
        },
        120000);
    printf("crowd of 1000: %d closed by the server after %.1f s\n", state["closed_by_server"].toInt(),
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    EXPECT_TRUE(drained);

    double worst = 0;
    const int greeted = VisitTenTimes(peer, serverPort, worst);
    printf("silent and half-sent crowd: %d of 10 visits greeted, slowest greeting %.3f s\n", greeted, worst);
    EXPECT_GE(greeted, 9);
    const QJsonObject crowd = crowdPeer.Command({ { "op", "crowd_stop" } });
    EXPECT_TRUE(crowd["error"].isNull()) << qPrintable(crowd["error"].toString());
}

namespace {

// A handler whose hand-over to the main window fails once with an exception that is not the
// program's own.
class CFailingHandler : public CMessageHandler {
public:
    CFailingHandler(CListener* server, std::function<void()> fail)
        : CMessageHandler(TYPE_TCP, INVALID_SOCKET, 0, server)
        , m_fail(std::move(fail))
    {
    }

protected:
    BOOL HandOverToMainWindow(const QByteArray& url, WORD group) override
    {
        if (m_fail) {
            std::function<void()> fail;
            fail.swap(m_fail);
            fail();
        }
        return CMessageHandler::HandOverToMainWindow(url, group);
    }

private:
    std::function<void()> m_fail;
};

class CFailingListener : public CListener {
public:
    CFailingListener(WORD port, std::function<void()> fail)
        : CListener("127.0.0.1", 0, port)
        , m_fail(std::move(fail))
    {
    }

protected:
    // The first connection's handler fails; the others are plain.
    std::unique_ptr<CMessageHandler> MakeHandler() override
    {
        std::function<void()> fail;
        fail.swap(m_fail);
        return std::make_unique<CFailingHandler>(this, std::move(fail));
    }

private:
    std::function<void()> m_fail;
};

} // namespace

TEST_F(ToolbarServerTest, AForeignExceptionInARequestLeavesTheNextRequestServed)
{
    // std::bad_alloc is caught by the request like the program's own failures; anything else ends
    // that toolbar's connection. Either way the request turn and the work mode are given back.
    struct Case {
        const char* name;
        std::function<void()> fail;
        bool connectionKept;
    } cases[] = {
        { "bad_alloc", [] { throw std::bad_alloc(); }, true },
        { "not an exception class", [] { throw 42; }, false },
    };
    window.answer = [](WORD) { return LRESULT { 1 }; };
    for (Case& c : cases) {
        StopServer();
        serverMaker = [&c](WORD port) { return new CFailingListener(port, c.fail); };
        StartServer();
        const std::vector<int> failing = Connect(1);
        const std::vector<int> other = Connect(1);
        const std::vector<int> both { failing[0], other[0] };
        window.commands.clear();

        peer.Send(failing[0], Request(1, "http://fails/"));
        EXPECT_EQ(peer.Read(other[0], 2), (std::vector<Frame> { Mode(wmDisable), Mode(wmActive) })) << c.name;
        EXPECT_TRUE(nettest::ServeUntil([] { return WorkMode() == wmActive; })) << c.name;
        const std::vector<Frame> got = peer.Read(failing[0], 2);
        EXPECT_EQ(got, (std::vector<Frame> { Mode(wmDisable), Mode(wmActive) })) << c.name;
        EXPECT_TRUE(window.commands.empty()) << c.name;

        // The next request, from the other toolbar, is served at once: the turn was given back.
        peer.Send(other[0], Request(2, "http://next/"));
        if (c.connectionKept) {
            ExpectRequestServed(other[0], both, 1);
            // And the toolbar whose request failed is still served.
            peer.Send(failing[0], Request(3, "http://again/"));
            ExpectRequestServed(failing[0], both, 1);
        } else {
            EXPECT_TRUE(peer.WaitClosed(failing[0], 20)) << c.name;
            EXPECT_TRUE(HandlersBecome(1)) << c.name;
            ExpectRequestServed(other[0], other, 1);
            // The broadcast reaches only connections still listed: a group change goes to one.
            EXPECT_TRUE(GroupsChanged()) << c.name;
        }
    }
    serverMaker = nullptr;
}

TEST_F(ToolbarServerTest, ShortOfDescriptorsANewToolbarTakesThePlaceOfASilentConnection)
{
    // The process has descriptors for about ten more connections before the server's reserve is
    // reached (each costs this test one and the server a few); twenty silent ones come, then a
    // toolbar, which is greeted all the same.
    Sql("INSERT INTO GROUPS(id, title) VALUES (1, 'NEWS');");
    rlimit given {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &given), 0);
    rlimit lowered = given;
    lowered.rlim_cur = given.rlim_cur - taluvo::DescriptorsLeft() + CListener::kReservedDescriptors + 40;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> silent;
    for (int i = 0; i < 20; ++i) {
        const int fd = RawConnect(serverPort);
        if (fd >= 0)
            silent.push_back(fd);
        // Those the server closed give their descriptors back here too.
        for (auto it = silent.begin(); it != silent.end();) {
            char byte;
            pollfd poll { *it, POLLIN, 0 };
            if (::poll(&poll, 1, 0) == 1 && ::recv(*it, &byte, 1, MSG_PEEK) == 0) {
                ::close(*it);
                it = silent.erase(it);
            } else {
                ++it;
            }
        }
        nettest::ServeUntil([] { return false; }, 50);
    }
    for (int visit = 0; visit < 3; ++visit) {
        const QJsonObject reply = peer.Command({ { "op", "try_toolbar" }, { "port", serverPort }, { "timeout", 30 } });
        EXPECT_TRUE(reply["greeted"].toBool()) << "visit " << visit;
    }
    CloseAll(silent);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &given), 0);
}

TEST_F(ToolbarServerTest, ACrowdThatSendsNopsCannotKeepAToolbarOutNorPushOutOneAlreadyThere)
{
    // At the server's own limit: 300 connections, each sending a MSG_NOP as soon as it is open and
    // again every 9 s; those the server closes come back at the next round.
    Sql("INSERT INTO GROUPS(id, title) VALUES (1, 'NEWS');");
    window.answer = [](WORD) { return LRESULT { 1 }; };
    // Two toolbars were there before the crowd: one brings the user requests, one says nothing.
    const std::vector<int> before = Connect(2);

    nettest::ToolbarPeer crowdPeer;
    ASSERT_TRUE(StartCrowd(crowdPeer, { { "count", 300 }, { "nops", 9 } }));
    QJsonObject state;
    EXPECT_TRUE(nettest::ServeUntil(
        [&] {
            state = crowdPeer.Command({ { "op", "crowd_state" } });
            return state["untaken"].toInt() == 0;
        },
        120000));
    // The crowd filled the server, and its surplus was made room for.
    EXPECT_GE(state["closed_by_server"].toInt(), 300 + 2 - static_cast<int>(CListener::kMaxConnections));

    // A request now makes its toolbar the one heard from last; it keeps its place all the same.
    peer.Send(before[0], Request(1, "http://served/"));
    ExpectRequestServed(before[0], before, 1);
    double worst = 0;
    const int greeted = VisitTenTimes(peer, serverPort, worst);
    printf("crowd sending no-ops: %d of 10 visits greeted, slowest greeting %.3f s\n", greeted, worst);
    EXPECT_EQ(greeted, 10);

    // Both toolbars are still there and served, the crowd still at it.
    peer.Send(before[1], Request(1, "http://quiet/"));
    ExpectRequestServed(before[1], before, 1);
    const QJsonObject crowd = crowdPeer.Command({ { "op", "crowd_stop" } });
    EXPECT_TRUE(crowd["error"].isNull()) << qPrintable(crowd["error"].toString());
    printf("crowd: %d connections opened, %d closed by the server\n", crowd["opened"].toInt(),
        crowd["closed_by_server"].toInt());
    EXPECT_GT(crowd["still_open"].toInt(), static_cast<int>(CListener::kMaxConnections) - 20);
}

namespace {

// The server's trace lines go to a file of the test while it lives (the INI file beside the test
// switches on CListener's TRACE0 lines).
class CServerTrace {
public:
    explicit CServerTrace(const taluvo::test::TempDir& dir)
        : m_path(dir.File("trace.log"))
    {
        taluvo::test::WriteFile(m_path, "");
        CDbgTracer::Instance()->SetLogFile(QString::fromStdString(m_path));
        CDbgTracer::Instance()->SetOutput(FALSE, FALSE);
    }
    ~CServerTrace() { CDbgTracer::Instance()->SetOutput(TRUE, FALSE); }
    CServerTrace(const CServerTrace&) = delete;
    CServerTrace& operator=(const CServerTrace&) = delete;

    size_t Count(const std::string& text) const
    {
        const std::string lines = taluvo::test::ReadFile(m_path);
        size_t n = 0;
        for (size_t at = lines.find(text); at != std::string::npos; at = lines.find(text, at + 1))
            ++n;
        return n;
    }

private:
    std::string m_path;
};

// A server that takes the owner of each connection's other end from the test, while it names one.
class COwnerListener : public CListener {
public:
    explicit COwnerListener(WORD port)
        : CListener("127.0.0.1", 0, port)
    {
    }
    void NameOwner(std::optional<taluvo::net::SPeerOwner> owner)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_owner = owner;
    }

protected:
    taluvo::net::SPeerOwner LookUpPeerOwner(SOCKET sock) override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_owner)
                return *m_owner;
        }
        return CListener::LookUpPeerOwner(sock);
    }

private:
    std::mutex m_lock;
    std::optional<taluvo::net::SPeerOwner> m_owner;
};

} // namespace

TEST_F(ToolbarServerTest, ConnectionsOfAnotherUserOrOfNoKnownOwnerAreRefusedAndPushNoToolbarOut)
{
    CServerTrace trace(dir);
    StopServer();
    COwnerListener* owned = nullptr;
    serverMaker = [&owned](WORD port) { return owned = new COwnerListener(port); };
    constexpr size_t kLimit = 3;
    StartServer(kLimit);
    serverMaker = nullptr;
    window.answer = [](WORD) { return LRESULT { 1 }; };
    // The test's own toolbars fill the server.
    const std::vector<int> toolbars = Connect(static_cast<int>(kLimit));

    struct Case {
        const char* name;
        taluvo::net::SPeerOwner owner;
        const char* traced;
    } cases[] = {
        { "another user", { taluvo::net::EPeerOwner::Foreign, 4242u },
            "The connection comes from a process of user 4242, not of this program's user; it is refused." },
        { "no owner found", { taluvo::net::EPeerOwner::Unknown, std::nullopt },
            "The owner of the connection's other end cannot be found; it is refused." },
    };
    for (const Case& c : cases) {
        owned->NameOwner(c.owner);
        // More than the limit: none of them gets a word, and none takes a toolbar's place.
        const std::vector<int> refused = peer.Connect(5, serverPort);
        for (int id : refused) {
            std::vector<Frame> got;
            EXPECT_TRUE(peer.WaitClosed(id, 20, &got)) << c.name;
            EXPECT_TRUE(got.empty()) << c.name << ": " << nettest::Describe(got);
        }
        EXPECT_EQ(trace.Count(c.traced), refused.size()) << c.name;
        EXPECT_EQ(server->GetHandlerCount(), kLimit) << c.name;
        peer.Send(toolbars[0], Request(1, "http://still-here/"));
        ExpectRequestServed(toolbars[0], toolbars, 1);
    }

    // This user's own, as the server finds it itself: greeted, full as the server is.
    owned->NameOwner(std::nullopt);
    const std::vector<int> own = peer.Connect(1, serverPort);
    const std::vector<Frame> first = peer.Read(own[0], 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].type, MSG_GROUPS_DATA);
}

TEST_F(ToolbarServerTest, AProcessOfAnotherUserIsRefused)
{
    CServerTrace trace(dir);
    constexpr uid_t kOther = 65534;
    // The child becomes another user and connects; it reports through the pipe: 'S' when it
    // cannot become that user, 'G' when the server sent it something, 'C' when the server closed
    // the connection without a word, 'E' when it could not connect or waited in vain.
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char verdict = 'S';
        ::setgroups(0, nullptr);
        if (::setresgid(kOther, kOther, kOther) == 0 && ::setresuid(kOther, kOther, kOther) == 0) {
            verdict = 'E';
            const int fd = RawConnect(serverPort);
            pollfd wait { fd, POLLIN, 0 };
            char byte;
            if (fd >= 0 && ::poll(&wait, 1, 30000) == 1) {
                const ssize_t n = ::recv(fd, &byte, 1, 0);
                verdict = n > 0 ? 'G' : n == 0 || errno == ECONNRESET ? 'C' : 'E';
            }
        }
        static_cast<void>(::write(report[1], &verdict, 1));
        ::_exit(0);
    }
    ::close(report[1]);
    char verdict = 0;
    EXPECT_TRUE(nettest::ServeUntil(
        [&] {
            pollfd ready { report[0], POLLIN, 0 };
            return ::poll(&ready, 1, 0) == 1;
        },
        60000));
    EXPECT_EQ(::read(report[0], &verdict, 1), 1);
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (verdict == 'S')
        GTEST_SKIP() << "no process of another user can be started here (in the suite's user namespace only root "
                        "is mapped); the owner lookup is tested on the test's own connections and on tables and "
                        "replies that name a made-up owner";
    EXPECT_EQ(verdict, 'C');
    EXPECT_EQ(trace.Count("The connection comes from a process of user 65534, not of this program's user"), 1u);
    // This user's toolbar is served as ever.
    Connect(1);
}
