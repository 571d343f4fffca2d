// The one thread that drives every transfer of the process, through one curl multi handle (so a
// later request to the same server reuses an open connection, whichever session it belongs to).
// It never calls a caller's callback: it queues notices and completions and hands them on, so a
// callback that waits for a busy window holds up no transfer. Received body bytes wait in the
// request until the caller reads them; when too much waits, the transfer pauses, so a reader that
// falls behind never makes the layer hold a whole large body. The thread ends after a while
// without requests and starts again with the next one.
#include "platform/inet/InetObjects.h"

#include "platform/inet/CurlErrors.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

namespace taluvo::inet::detail {
namespace {

// How long the thread waits without requests before it ends.
constexpr milliseconds kIdleLinger(30000);
// The longest the thread sleeps while it serves requests: a read that takes what a slow sender
// has sent so far is due within a second of its start, with no wake-up of its own.
constexpr milliseconds kLongestWait(1000);
// How soon notices that found no pooled thread are tried again.
constexpr milliseconds kRetryHandOn(50);

struct Transfers {
    std::mutex lock;
    CURLM* multi = nullptr; // kept for the life of the process: its connections are reused
    std::vector<std::shared_ptr<Request>> incoming;
    bool running = false;
    std::atomic<int> lookupsLeft { 0 }; // lookups given up whose threads were left to end alone
};

Transfers& TheTransfers()
{
    static Transfers* transfers = new Transfers; // never destroyed: the thread may outlive static destruction
    return *transfers;
}

// The body buffer of the last request served, for the next one: a fresh buffer of a large body
// costs a page fault for every 4 KB written into it. Larger ones are given back.
constexpr qsizetype kKeptBodyBytes = qsizetype(2) * 1024 * 1024;
thread_local QByteArray t_body;

void TakeKeptBody(Request& request)
{
    std::lock_guard<std::mutex> guard(request.lock);
    if (request.body.isEmpty() && t_body.isDetached())
        request.body.swap(t_body);
    t_body = QByteArray();
    request.body.resize(0);
    request.bodyPos = 0;
}

// Only a body read to its end is taken back: a reader still racing the close finds what it would
// have found anyway, nothing left to read.
void KeepBody(Request& request)
{
    std::lock_guard<std::mutex> guard(request.lock);
    if (request.bodyPos != request.body.size() || request.body.capacity() > kKeptBodyBytes)
        return;
    t_body.swap(request.body);
    request.body = QByteArray();
    request.bodyPos = 0;
}

void Fail(Request& request, DWORD error)
{
    std::lock_guard<std::mutex> guard(request.lock);
    if (!request.ended) {
        request.ended = true;
        request.error = error;
    }
}

void Begin(CURLM* multi, Request& request)
{
    TakeKeptBody(request);
    bool goesOut;
    {
        std::lock_guard<std::mutex> guard(request.lock);
        goesOut = !request.ended; // a request that cannot go out only completes its step
    }
    if (goesOut && CurlOk(curl_multi_add_handle(multi, request.easy), "curl_multi_add_handle"))
        request.inMulti = true;
    else if (goesOut)
        Fail(request, ERROR_INTERNET_INTERNAL_ERROR);
}

// A lookup still running when its transfer ends is given up: libcurl leaves its thread to end
// alone when the system resolver does (see ConfigureTransfer). Each one is traced.
void LeaveLookup(Request& request)
{
    if (!std::exchange(request.lookingUp, false))
        return;
    const int left = ++TheTransfers().lookupsLeft;
    if (Traced(kTraceErrors))
        Trace(kTraceErrors,
            QStringLiteral("WinInet - The lookup of \"%1\" was given up; its thread ends alone (%2 so far).\n")
                .arg(request.host)
                .arg(left));
}

// Takes a transfer out of the multi handle, which ends it.
void RemoveFromMulti(CURLM* multi, Request& request)
{
    if (!request.inMulti)
        return;
    LeaveLookup(request);
    CurlOk(curl_multi_remove_handle(multi, request.easy), "curl_multi_remove_handle");
    request.inMulti = false;
}

// A closed request's transfer ends and its resources go.
void Retire(CURLM* multi, Request& request)
{
    RemoveFromMulti(multi, request);
    curl_easy_cleanup(std::exchange(request.easy, nullptr));
    curl_slist_free_all(std::exchange(request.headerList, nullptr));
    KeepBody(request);
}

void Finished(CURLMsg* message)
{
    Request* request = nullptr;
    if (!CurlOk(
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &request), "curl_easy_getinfo(CURLINFO_PRIVATE)")
        || !request)
        return;
    long osErrno = 0, verify = 0;
    CurlOk(curl_easy_getinfo(request->easy, CURLINFO_OS_ERRNO, &osErrno), "curl_easy_getinfo(CURLINFO_OS_ERRNO)");
    CurlOk(curl_easy_getinfo(request->easy, CURLINFO_SSL_VERIFYRESULT, &verify),
        "curl_easy_getinfo(CURLINFO_SSL_VERIFYRESULT)");
    const CURLcode code = message->data.result;
    // A failed lookup has ended; a transfer that ended any other way while looking up (its connect
    // time-out) gave its lookup up.
    if (code == CURLE_COULDNT_RESOLVE_HOST)
        request->lookingUp = false;
    else
        LeaveLookup(*request);
    std::lock_guard<std::mutex> guard(request->lock);
    request->ended = true;
    if (code == CURLE_OK) {
        request->headersDone = true;
        request->finishedWell = true;
    } else if (!request->error) {
        request->error = taluvo::inet::WinInetErrorOf(code, osErrno, verify);
    }
}

// One turn for one live request: time-outs, a failed transfer stopped, a paused one resumed,
// the due completion queued.
void Serve(CURLM* multi, Request& request, Clock::time_point now, milliseconds& wait)
{
    CheckTimeouts(request, now, wait);
    bool resume = false;
    bool stopTransfer = false;
    {
        std::lock_guard<std::mutex> guard(request.lock);
        stopTransfer = request.ended && request.inMulti && !request.finishedWell;
        if (request.resumeWanted && request.paused) {
            request.paused = false;
            request.lastActivity = now;
            resume = true;
        }
        request.resumeWanted = false;
        QueueCompletion(request);
        if (request.pending == Op::Read) {
            const auto held = request.readSince + kPartialReadHold;
            if (held > now)
                wait = std::min(wait, std::chrono::duration_cast<milliseconds>(held - now) + milliseconds(1));
        }
    }
    // Failed (or timed out): the transfer stops now.
    if (stopTransfer)
        RemoveFromMulti(multi, request);
    if (resume && !CurlOk(curl_easy_pause(request.easy, CURLPAUSE_CONT), "curl_easy_pause"))
        Fail(request, ERROR_INTERNET_INTERNAL_ERROR);
}

void DriveTransfers()
{
    Transfers& transfers = TheTransfers();
    CURLM* multi = transfers.multi;
    std::vector<std::shared_ptr<Request>> requests;
    Clock::time_point idleSince = Clock::now();
    for (;;) {
        // Closed requests go first, so a new request gets the body buffer a closed one gave back.
        for (auto it = requests.begin(); it != requests.end();) {
            Request& request = **it;
            if (!request.closed.load()) {
                ++it;
                continue;
            }
            if (request.easy)
                Retire(multi, request);
            // Once a thread gives what is still queued, the request is done with here.
            if (!HandOnNotices(*it)) {
                ++it;
                continue;
            }
            it = requests.erase(it);
            if (requests.empty())
                idleSince = Clock::now();
        }
        std::vector<std::shared_ptr<Request>> started;
        {
            std::lock_guard<std::mutex> guard(transfers.lock);
            started.swap(transfers.incoming);
            if (requests.empty() && started.empty() && Clock::now() - idleSince >= kIdleLinger) {
                transfers.running = false;
                return;
            }
        }
        for (const std::shared_ptr<Request>& request : started) {
            Begin(multi, *request);
            requests.push_back(request);
        }
        int active = 0;
        if (!requests.empty() && !CurlOk(curl_multi_perform(multi, &active), "curl_multi_perform")) {
            for (const std::shared_ptr<Request>& request : requests)
                Fail(*request, ERROR_INTERNET_INTERNAL_ERROR);
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE)
                Finished(message);
        }

        const Clock::time_point now = Clock::now();
        milliseconds wait = requests.empty() ? kIdleLinger : kLongestWait;
        for (const std::shared_ptr<Request>& request : requests) {
            if (!request->closed.load()) {
                if (request->inMulti)
                    NoticeSent(*request);
                Serve(multi, *request, now, wait);
            }
            if (!HandOnNotices(request))
                wait = std::min(wait, kRetryHandOn);
        }
        long curlWait = -1;
        if (!requests.empty() && CurlOk(curl_multi_timeout(multi, &curlWait), "curl_multi_timeout") && curlWait >= 0)
            wait = std::min(wait, milliseconds(curlWait));
        if (!CurlOk(curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait.count()), nullptr), "curl_multi_poll")) {
            // Never spin on a wait that keeps failing: the transfers end, and the loop waits for
            // their closes at a slow pace.
            for (const std::shared_ptr<Request>& request : requests)
                Fail(*request, ERROR_INTERNET_INTERNAL_ERROR);
            std::this_thread::sleep_for(std::min(wait, milliseconds(50)));
        }
    }
}

} // namespace

bool HandToTransfers(const std::shared_ptr<Request>& request)
{
    Transfers& transfers = TheTransfers();
    std::lock_guard<std::mutex> guard(transfers.lock);
    if (!transfers.multi)
        transfers.multi = curl_multi_init();
    if (!transfers.multi)
        return false;
    if (!transfers.running) {
        try {
            std::thread(DriveTransfers).detach();
        } catch (const std::system_error&) {
            return false;
        }
        transfers.running = true;
    }
    transfers.incoming.push_back(request);
    CurlOk(curl_multi_wakeup(transfers.multi), "curl_multi_wakeup");
    return true;
}

void WakeTransfers()
{
    Transfers& transfers = TheTransfers();
    std::lock_guard<std::mutex> guard(transfers.lock);
    if (transfers.running)
        CurlOk(curl_multi_wakeup(transfers.multi), "curl_multi_wakeup");
}

// libcurl counts the bytes of the request as it writes them out: the first count is the moment
// the request was sent.
void NoticeSent(Request& request)
{
    {
        std::lock_guard<std::mutex> guard(request.lock);
        if (request.sent)
            return;
    }
    long bytes = 0;
    if (!CurlOk(
            curl_easy_getinfo(request.easy, CURLINFO_REQUEST_SIZE, &bytes), "curl_easy_getinfo(CURLINFO_REQUEST_SIZE)")
        || bytes <= 0)
        return;
    std::lock_guard<std::mutex> guard(request.lock);
    request.sent = true;
    request.lastActivity = Clock::now();
    QueueNumber(request, INTERNET_STATUS_REQUEST_SENT, static_cast<DWORD>(bytes));
}

// Fails the transfer with a WinInet error when a step has been idle for longer than its time-out.
void CheckTimeouts(Request& request, Clock::time_point now, milliseconds& wait)
{
    std::lock_guard<std::mutex> guard(request.lock);
    if (request.ended || request.paused || !request.connected)
        return; // connecting is bounded by libcurl's own connect time-out
    const DWORD limit = request.sent ? request.active.receiveTimeout : request.active.sendTimeout;
    const auto deadline = request.lastActivity + milliseconds(limit);
    if (now >= deadline) {
        request.ended = true;
        request.error = ERROR_INTERNET_TIMEOUT;
        return;
    }
    wait = std::min(wait, std::chrono::duration_cast<milliseconds>(deadline - now) + milliseconds(1));
}

} // namespace taluvo::inet::detail
