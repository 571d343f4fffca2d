// The toolbar server on loopback: round trips of a groups request (a toolbar connects and gets
// the groups list) and of an add request answered by a stand-in main window, each with 1 and 200
// toolbars connected; the groups list broadcast to 200 toolbars until each has it; the shutdown
// with 200 toolbars connected. Toolbars are plain blocking sockets on a driver thread, so the
// benchmark's own thread stays the user-interface thread that serves the handlers' sends.
#include "Network/Listener.h"
#include "Network/MessageHandler.h"
#include "core/Globals.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "platform/base/KernelObjects.h"
#include "platform/ui/Application.h"
#include "platform/ui/AtlWin.h"
#include "platform/ui/UserApi.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

TRACE_MODULE("NetworkBench");

namespace {

class CBenchMainWnd : public CWindowImpl<CBenchMainWnd> {
public:
    BEGIN_MSG_MAP(CBenchMainWnd)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    END_MSG_MAP()
    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled)
    {
        handled = LOWORD(wParam) == CMessageHandler::kPageAddCommand && lParam == TOOLBAR_REQUEST_TAG;
        return handled ? 1 : 0;
    }
};

int Connect(WORD port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool ReadExactly(int fd, char* bytes, size_t count)
{
    for (size_t at = 0; at < count;) {
        const ssize_t n = ::recv(fd, bytes + at, count - at, 0);
        if (n <= 0)
            return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// One frame; its type, or -1 when the connection ended.
int ReadFrame(int fd)
{
    char header[MSGSIZE];
    if (!ReadExactly(fd, header, MSGSIZE))
        return -1;
    uint32_t type;
    uint32_t length;
    std::memcpy(&type, header, 4);
    std::memcpy(&length, header + 8, 4);
    std::vector<char> payload(length);
    if (length && !ReadExactly(fd, payload.data(), length))
        return -1;
    return static_cast<int>(type);
}

QByteArray Frame(uint32_t type, uint32_t param, const QByteArray& payload)
{
    QByteArray bytes(MSGSIZE, '\0');
    const uint32_t length = static_cast<uint32_t>(payload.size());
    std::memcpy(bytes.data(), &type, 4);
    std::memcpy(bytes.data() + 4, &param, 4);
    std::memcpy(bytes.data() + 8, &length, 4);
    return bytes + payload;
}

// Runs jobs on its own thread while the user-interface thread serves sends.
class CDriver {
public:
    CDriver()
        : m_go(CreateEvent(nullptr, FALSE, FALSE, nullptr))
        , m_done(CreateEvent(nullptr, FALSE, FALSE, nullptr))
    {
        m_thread = std::thread([this] {
            for (;;) {
                WaitForSingleObject(m_go, INFINITE);
                if (m_quit)
                    return;
                m_job();
                SetEvent(m_done);
            }
        });
    }
    ~CDriver()
    {
        m_quit = true;
        SetEvent(m_go);
        m_thread.join();
        CloseHandle(m_go);
        CloseHandle(m_done);
    }
    void Start(std::function<void()> job)
    {
        m_job = std::move(job);
        SetEvent(m_go);
    }
    void Finish() { taluvo::ui::WaitServingSends(m_done, INFINITE); }
    void Run(std::function<void()> job)
    {
        Start(std::move(job));
        Finish();
    }

private:
    HANDLE m_go;
    HANDLE m_done;
    std::function<void()> m_job;
    std::atomic<bool> m_quit { false };
    std::thread m_thread;
};

// The server with a stand-in main window, and toolbars connected to it whose messages a drain
// thread reads away (all but the first, which the benchmark drives).
class CServerRig {
public:
    explicit CServerRig(int toolbars)
    {
        m_window.Create(nullptr);
        g_hMainWnd = m_window;
        m_server = new CListener("127.0.0.1", 0, 0);
        g_pListener = m_server;
        m_server->Start();
        m_port = m_server->GetListeningPort();
        for (int i = 0; i < toolbars; ++i) {
            const int fd = Connect(m_port);
            ReadFrame(fd); // its groups list: it is listed now
            m_toolbars.push_back(fd);
        }
        ::pipe2(m_stopPipe, O_CLOEXEC);
    }
    ~CServerRig()
    {
        StopDrain();
        if (m_server)
            Shutdown();
        for (int fd : m_toolbars)
            ::close(fd);
        ::close(m_stopPipe[0]);
        ::close(m_stopPipe[1]);
        m_window.DestroyWindow();
        g_hMainWnd = nullptr;
    }
    // The main window's shutdown steps.
    void Shutdown()
    {
        m_server->SignalStop();
        m_server->Close();
        m_server->Wait(INFINITE);
        delete m_server;
        m_server = nullptr;
        g_pListener = nullptr;
    }
    void StartDrain(size_t first)
    {
        m_drain = std::thread([this, first] {
            std::vector<pollfd> fds { { m_stopPipe[0], POLLIN, 0 } };
            for (size_t i = first; i < m_toolbars.size(); ++i)
                fds.push_back({ m_toolbars[i], POLLIN, 0 });
            char buffer[65536];
            for (;;) {
                ::poll(fds.data(), fds.size(), -1);
                if (fds[0].revents)
                    return;
                for (size_t i = 1; i < fds.size(); ++i)
                    if (fds[i].revents & POLLIN)
                        ::recv(fds[i].fd, buffer, sizeof buffer, MSG_DONTWAIT);
            }
        });
    }
    void StopDrain()
    {
        if (!m_drain.joinable())
            return;
        ::write(m_stopPipe[1], "x", 1);
        m_drain.join();
    }

    CBenchMainWnd m_window;
    CListener* m_server = nullptr;
    WORD m_port = 0;
    std::vector<int> m_toolbars;
    int m_stopPipe[2] = { -1, -1 };
    std::thread m_drain;
};

void GroupsRoundTrip(benchmark::State& state)
{
    CServerRig rig(static_cast<int>(state.range(0)) - 1);
    rig.StartDrain(0);
    CDriver driver;
    for (auto _ : state) {
        driver.Run([&] {
            const int fd = Connect(rig.m_port);
            if (ReadFrame(fd) != MSG_GROUPS_DATA)
                std::abort();
            ::close(fd);
        });
    }
    state.SetLabel(std::to_string(state.range(0)) + " toolbars connected");
}

void AddRoundTrip(benchmark::State& state)
{
    CServerRig rig(static_cast<int>(state.range(0)));
    rig.StartDrain(1);
    CDriver driver;
    const QByteArray request = Frame(MSG_REQ_ADD_URL, 1, QByteArray("http://bench.example/page\0", 26));
    const int fd = rig.m_toolbars[0];
    for (auto _ : state) {
        driver.Run([&] {
            ::send(fd, request.constData(), static_cast<size_t>(request.size()), MSG_NOSIGNAL);
            // wmDisable, the answer, wmActive
            if (ReadFrame(fd) != MSG_WORK_MODE || ReadFrame(fd) != MSG_RESP_ADD_URL || ReadFrame(fd) != MSG_WORK_MODE)
                std::abort();
        });
    }
    state.SetLabel(std::to_string(state.range(0)) + " toolbars connected");
}

void GroupsBroadcast(benchmark::State& state)
{
    CServerRig rig(static_cast<int>(state.range(0)));
    CDriver driver;
    for (auto _ : state) {
        // Until every toolbar has read the whole list.
        driver.Start([&] {
            for (int fd : rig.m_toolbars)
                if (ReadFrame(fd) != MSG_GROUPS_DATA)
                    std::abort();
        });
        {
            CMutexLocker lock(rig.m_server->m_lock);
            rig.m_server->SentToAllGroupsData();
        }
        driver.Finish();
    }
    state.SetLabel(std::to_string(state.range(0)) + " toolbars");
}

// The server's side of one work-mode message to every toolbar (a request sends two).
void WorkModeSendToAll(benchmark::State& state)
{
    CServerRig rig(static_cast<int>(state.range(0)));
    rig.StartDrain(0);
    const QByteArray message = Frame(MSG_WORK_MODE, wmActive, QByteArray());
    for (auto _ : state) {
        CMutexLocker lock(rig.m_server->m_lock);
        rig.m_server->SendToAll(message.constData(), MSGSIZE);
    }
    state.SetLabel(std::to_string(state.range(0)) + " toolbars");
}

void ShutdownWithToolbars(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto rig = std::make_unique<CServerRig>(static_cast<int>(state.range(0)));
        state.ResumeTiming();
        rig->Shutdown();
        state.PauseTiming();
        rig.reset();
        state.ResumeTiming();
    }
    state.SetLabel(std::to_string(state.range(0)) + " toolbars connected");
}

BENCHMARK(GroupsRoundTrip)->Arg(1)->Arg(200)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(AddRoundTrip)->Arg(1)->Arg(200)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(GroupsBroadcast)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WorkModeSendToAll)->Arg(200)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(ShutdownWithToolbars)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    taluvo::ui::CUiApplication app(argc, argv);
    char folder[] = "/tmp/taluvo-network-bench-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string db = std::string(folder) + "/database.db";
    m_db.open(db.c_str());
    CheckDb(m_db, g_dbMutex, g_prefs);
    {
        // Twenty groups of ordinary titles.
        AUTO_DB_LOCKER_ON(g_dbMutex);
        for (int i = 1; i <= 20; ++i)
            m_db.execDML(("INSERT INTO GROUPS(id, title) VALUES (" + std::to_string(i) + ", 'Group number "
                + std::to_string(i) + "');")
                             .c_str());
    }
    {
        CMutexLocker lock(g_prefs.m_mutex);
        g_prefs.GetParam("WorkMode")->SetInt(wmActive);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    m_db.close();
    std::remove(db.c_str());
    ::rmdir(folder);
    return 0;
}
