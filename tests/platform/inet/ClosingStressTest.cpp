// A handle's closing notice is its last, whatever races it: many requests against peers that
// answer, stall, reset or never accept, closed at random moments from another thread, from inside
// their own notices, or through their connection or session, while completions and time-outs
// arrive. Run it under the thread sanitizer with --gtest_repeat to shake out the rare orders.
#include "platform/base/KernelObjects.h"
#include "platform/inet/WinInet.h"
#include "tests/platform/inet/InetTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace taluvo::test;

namespace {

// Checks every notice as it enters and leaves the callback. A fault: a notice of a handle after
// its closing notice, a closing notice while another notice of the handle still runs, a second
// closing notice, or any notice for a context already freed. The context is a number, never a
// pointer, so a notice for a freed context is counted, not followed.
class ClosingWatch {
public:
    ClosingWatch() { s_current.store(this); }
    ~ClosingWatch() { s_current.store(nullptr); }
    ClosingWatch(const ClosingWatch&) = delete;
    ClosingWatch& operator=(const ClosingWatch&) = delete;

    // A context for one connection and its request. closeAt: a status on whose notice of the
    // request the callback itself closes both handles, as a caller reacting to a step does (0: none).
    DWORD_PTR NewContext(DWORD closeAt)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const DWORD_PTR id = ++m_nextId;
        m_live[id].closeAt = closeAt;
        ++m_made;
        return id;
    }
    // The handles the callback closes, known once both are open.
    void SetHandles(DWORD_PTR context, HINTERNET connect, HINTERNET request)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const auto live = m_live.find(context);
        if (live == m_live.end())
            return;
        live->second.connect = connect;
        live->second.request = request;
    }

    static void Callback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID, DWORD)
    {
        if (ClosingWatch* watch = s_current.load())
            watch->Notice(handle, context, status);
    }

    std::vector<std::string> Faults()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_faults;
    }
    // Contexts made whose two handles both gave their one closing notice.
    int Retired()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_retired;
    }
    int Made()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_made;
    }
    // What each context still open is missing, for the failure message.
    std::string Unfinished()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::string text;
        for (const auto& [id, context] : m_live) {
            text += "context " + std::to_string(id) + ":";
            for (const auto& [h, state] : context.handles)
                text += " handle " + std::to_string(reinterpret_cast<uintptr_t>(h)) + " closings "
                    + std::to_string(state.closings);
            text += "\n";
        }
        return text;
    }

private:
    struct HandleState {
        int running = 0;
        int closings = 0;
    };
    struct Context {
        std::map<HINTERNET, HandleState> handles;
        HINTERNET connect = nullptr;
        HINTERNET request = nullptr;
        DWORD closeAt = 0;
        bool closedByCallback = false;
    };

    void Fault(const std::string& what)
    {
        if (m_faults.size() < 20)
            m_faults.push_back(what);
        else if (m_faults.size() == 20)
            m_faults.push_back("...");
    }

    void Notice(HINTERNET handle, DWORD_PTR context, DWORD status)
    {
        const std::string which = "status " + std::to_string(status) + " of handle "
            + std::to_string(reinterpret_cast<uintptr_t>(handle)) + " (context " + std::to_string(context) + ")";
        HINTERNET closeConnect = nullptr;
        HINTERNET closeRequest = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            const auto live = m_live.find(context);
            if (live == m_live.end()) {
                Fault(which + " after its context was freed");
                return;
            }
            Context& ctx = live->second;
            HandleState& state = ctx.handles[handle];
            if (state.closings > 0)
                Fault(which + " after the handle's closing notice");
            if (status == INTERNET_STATUS_HANDLE_CLOSING && state.running > 0)
                Fault(which + " while another notice of the handle runs");
            ++state.running;
            if (status == INTERNET_STATUS_HANDLE_CLOSING)
                ++state.closings;
            if (status == ctx.closeAt && handle == ctx.request && !ctx.closedByCallback) {
                ctx.closedByCallback = true;
                closeConnect = ctx.connect;
                closeRequest = ctx.request;
            }
        }
        // Closing from inside the notice: the closing notices then come after this one ends.
        if (closeRequest) {
            InternetCloseHandle(closeRequest);
            InternetCloseHandle(closeConnect);
        }
        // A receiver that takes its time widens every window a race could use.
        std::this_thread::yield();
        std::lock_guard<std::mutex> guard(m_lock);
        const auto live = m_live.find(context);
        if (live == m_live.end())
            return;
        --live->second.handles[handle].running;
        if (status != INTERNET_STATUS_HANDLE_CLOSING)
            return;
        // Both handles had their last notice: the context is freed, as a receiver would free it.
        int closed = 0;
        for (const auto& [h, s] : live->second.handles)
            closed += s.closings > 0 ? 1 : 0;
        if (closed == 2) {
            m_live.erase(live);
            ++m_retired;
        }
    }

    static inline std::atomic<ClosingWatch*> s_current { nullptr };
    std::mutex m_lock;
    DWORD_PTR m_nextId = 0;
    std::map<DWORD_PTR, Context> m_live;
    std::vector<std::string> m_faults;
    int m_made = 0;
    int m_retired = 0;
};

void SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds)
{
    InternetSetOption(handle, option, &milliseconds, sizeof(milliseconds));
}

// Short step time-outs, so that time-outs race the closes too.
void UseShortTimeouts(HINTERNET session)
{
    SetTimeout(session, INTERNET_OPTION_CONNECT_TIMEOUT, 100);
    SetTimeout(session, INTERNET_OPTION_SEND_TIMEOUT, 50);
    SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 50);
}

// Who closes a round's handles.
enum class Closer {
    OtherThread, // request, then connection, from another thread after a random moment
    ConnectionOnly, // the connection from another thread: its request goes with it
    Session, // a session of the round's own from another thread: everything under it goes
    Notice, // the callback at a step of the request, and another thread as well (a double close)
};

TEST(InternetClosingStress, HandleClosingIsTheLastNoticeWhateverRacesIt)
{
    ClosingWatch watch;
    PeerProcess server({ "http", "A" });
    PeerProcess silent({ "silent" });
    PeerProcess full({ "full" });
    struct Target {
        int port;
        const char16_t* object;
    };
    const std::vector<Target> targets {
        { server.Port(), u"/body?size=20000&chunk=700" }, // completes
        { server.Port(), u"/status/404" }, // completes at once
        { server.Port(), u"/stall" }, // the body stops: receive time-out
        { server.Port(), u"/stall-headers" }, // no response: receive time-out
        { server.Port(), u"/reset" }, // reset in the middle of the body
        { server.Port(), u"/reset-at-once" }, // reset instead of a response
        { silent.Port(), u"/" }, // accepted and never answered
        { full.Port(), u"/" }, // the connect never completes: connect time-out
    };
    const DWORD closeSteps[] = { INTERNET_STATUS_CONNECTING_TO_SERVER, INTERNET_STATUS_SENDING_REQUEST,
        INTERNET_STATUS_REQUEST_SENT, INTERNET_STATUS_RESPONSE_RECEIVED, INTERNET_STATUS_REQUEST_COMPLETE };

    HINTERNET shared = InternetOpen(u"Taluvo", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
    ASSERT_NE(shared, nullptr);
    InternetSetStatusCallback(shared, &ClosingWatch::Callback);
    UseShortTimeouts(shared);

    constexpr int kDrivers = 6;
    constexpr int kRounds = 40;
    auto drive = [&](int driver) {
        std::mt19937 random(static_cast<unsigned>(driver * 7919 + 1));
        for (int round = 0; round < kRounds; ++round) {
            const auto closer = static_cast<Closer>(random() % 4);
            const Target& target = targets[random() % targets.size()];
            const DWORD closeAt = closer == Closer::Notice ? closeSteps[random() % std::size(closeSteps)] : 0;
            HINTERNET session = shared;
            if (closer == Closer::Session) {
                session = InternetOpen(u"Taluvo", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC);
                InternetSetStatusCallback(session, &ClosingWatch::Callback);
                UseShortTimeouts(session);
            }
            const DWORD_PTR context = watch.NewContext(closeAt);
            HINTERNET connect = InternetConnect(session, u"127.0.0.1", static_cast<INTERNET_PORT>(target.port), nullptr,
                nullptr, INTERNET_SERVICE_HTTP, 0, context);
            HINTERNET request = HttpOpenRequest(
                connect, u"GET", reinterpret_cast<LPCWSTR>(target.object), nullptr, nullptr, nullptr, 0, context);
            watch.SetHandles(context, connect, request);
            HttpSendRequestEx(request, nullptr, nullptr, HSR_ASYNC, context);
            // The close comes after a random moment: before the send went out, while the
            // response or the body is on its way, or after a time-out.
            const auto delay = std::chrono::microseconds(random() % 120000);
            std::thread closing([=] {
                std::this_thread::sleep_for(delay);
                switch (closer) {
                case Closer::OtherThread:
                case Closer::Notice:
                    InternetCloseHandle(request);
                    InternetCloseHandle(connect);
                    break;
                case Closer::ConnectionOnly:
                    InternetCloseHandle(connect);
                    break;
                case Closer::Session:
                    InternetCloseHandle(session);
                    break;
                }
            });
            // The caller asks for the next steps as fast as it can, as long as the handle lives.
            for (int step = 0; step < 50; ++step) {
                char buffer[1024];
                INTERNET_BUFFERSA piece {};
                piece.dwStructSize = sizeof(piece);
                piece.lpvBuffer = buffer;
                piece.dwBufferLength = sizeof(buffer);
                if (!HttpEndRequest(request, nullptr, HSR_ASYNC | HSR_INITIATE, context)
                    && GetLastError() == ERROR_INVALID_HANDLE)
                    break;
                if (!InternetReadFileExA(request, &piece, IRF_ASYNC | IRF_NO_WAIT, context)
                    && GetLastError() == ERROR_INVALID_HANDLE)
                    break;
                std::this_thread::yield();
            }
            closing.join();
        }
    };
    std::vector<std::thread> drivers;
    drivers.reserve(kDrivers);
    for (int d = 0; d < kDrivers; ++d)

        drivers.emplace_back(drive, d);
    for (std::thread& t : drivers)
        t.join();
    // A closing notice held back by a running notice comes from the thread that gave that notice,
    // right after it.
    EXPECT_TRUE(taluvo::inet::WaitForRunningRequests(60000));
    InternetCloseHandle(shared);

    const std::vector<std::string> faults = watch.Faults();
    std::string listed;
    for (const std::string& fault : faults)
        listed += fault + "\n";
    EXPECT_TRUE(faults.empty()) << listed;
    // Every handle gave exactly one closing notice.
    EXPECT_EQ(watch.Made(), kDrivers * kRounds);
    EXPECT_EQ(watch.Retired(), kDrivers * kRounds) << watch.Unfinished();
}

} // namespace
