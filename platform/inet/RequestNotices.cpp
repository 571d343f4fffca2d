// A request's notices in their order. The transfers' thread only queues them: a callback may block
// (a window message sent to a busy window), and the one thread that drives every transfer must
// never wait for it. They are given by the caller's thread while it is inside a call of the
// request (so a step that could complete at once costs no thread switch), else by a pooled thread
// started when a notice comes and the queue was idle. One thread at a time gives a request's
// notices, so they keep their order.
#include "platform/inet/InetObjects.h"

#include "platform/base/ThreadPool.h"

#include <utility>

namespace taluvo::inet::detail {
namespace {

// Under the request's lock: whether the pending operation can complete now, and with what.
bool TakeCompletion(Request& request, Op& op, BOOL& result, DWORD& error)
{
    op = request.pending;
    result = TRUE;
    error = 0;
    switch (request.pending) {
    case Op::None:
        return false;
    case Op::Send:
        if (request.sent)
            break;
        if (!request.ended)
            return false;
        result = FALSE;
        error = request.error ? request.error : ERROR_INTERNET_CONNECTION_ABORTED;
        break;
    case Op::End:
        if (request.headersDone && (request.sawResponse || !request.error))
            break;
        if (!request.ended)
            return false;
        result = FALSE;
        error = request.error ? request.error : ERROR_HTTP_INVALID_SERVER_RESPONSE;
        break;
    case Op::Read: {
        const qsizetype available = request.body.size() - request.bodyPos;
        const bool whole = available >= request.readWant;
        const bool held = available > 0 && Clock::now() - request.readSince >= kPartialReadHold;
        if (!whole && !request.ended && !held)
            return false;
        request.partialReady = held && !whole;
        if (available == 0 && request.error) {
            result = FALSE;
            error = request.error;
        }
        break;
    }
    }
    request.pending = Op::None;
    return true;
}

void Give(Request& request, QueuedNotice& notice)
{
    switch (notice.info) {
    case QueuedNotice::Info::None:
        NotifyLive(request, notice.status, nullptr, 0);
        break;
    case QueuedNotice::Info::Number:
        NotifyLive(request, notice.status, &notice.number, sizeof(notice.number));
        break;
    case QueuedNotice::Info::Text:
        NotifyLive(request, notice.status, notice.text.data(), static_cast<DWORD>(notice.text.size() + 1));
        break;
    case QueuedNotice::Info::Completion:
        if (request.session->async) {
            // Taken from the pending slot, so a close that comes now does not complete the
            // operation: this is its one completion, even when the handle has just been closed.
            // It was counted when taken, so the closing notice waits for it.
            NotifyCounted(request, INTERNET_STATUS_REQUEST_COMPLETE, &notice.result, sizeof(notice.result));
        } else {
            std::lock_guard<std::mutex> guard(request.lock);
            request.syncDone = true;
            request.syncResult = static_cast<BOOL>(notice.result.dwResult);
            request.syncError = notice.result.dwError;
            request.changed.notify_all();
        }
        break;
    }
}

// Gives queued notices until none is left; the caller has marked the queue busy.
void GiveQueued(Request& request)
{
    for (;;) {
        QueuedNotice notice;
        {
            std::lock_guard<std::mutex> guard(request.lock);
            if (request.notices.empty()) {
                request.noticesBusy = false;
                return;
            }
            notice = std::move(request.notices.front());
            request.notices.pop_front();
        }
        Give(request, notice);
    }
}

} // namespace

void QueueNotice(Request& request, DWORD status)
{
    request.notices.push_back({ status, QueuedNotice::Info::None, 0, {}, {} });
}

void QueueNumber(Request& request, DWORD status, DWORD number)
{
    request.notices.push_back({ status, QueuedNotice::Info::Number, number, {}, {} });
}

void QueueText(Request& request, DWORD status, const QByteArray& text)
{
    request.notices.push_back({ status, QueuedNotice::Info::Text, 0, text, {} });
}

bool QueueCompletion(Request& request)
{
    Op op;
    BOOL result;
    DWORD error;
    if (!TakeCompletion(request, op, result, error))
        return false;
    // Counted under the request's lock, before a close can take the operation away.
    if (request.session->async && !BeginNotice(request, true))
        return false;
    if (op == Op::End && result) {
        QueueNotice(request, INTERNET_STATUS_RECEIVING_RESPONSE);
        QueueNumber(request, INTERNET_STATUS_RESPONSE_RECEIVED, static_cast<DWORD>(request.rawHeaders.size()));
    }
    QueuedNotice completion;
    completion.status = INTERNET_STATUS_REQUEST_COMPLETE;
    completion.info = QueuedNotice::Info::Completion;
    completion.result = { static_cast<DWORD_PTR>(result), error };
    request.notices.push_back(std::move(completion));
    return true;
}

bool ClaimNotices(Request& request)
{
    if (request.noticesBusy)
        return false;
    request.noticesBusy = true;
    CountRunning(+1);
    return true;
}

void GiveClaimedNotices(Request& request)
{
    GiveQueued(request);
    CountRunning(-1);
}

bool HandOnNotices(const std::shared_ptr<Request>& request)
{
    {
        std::lock_guard<std::mutex> guard(request->lock);
        if (request->noticesBusy || request->notices.empty())
            return true;
        request->noticesBusy = true;
    }
    CountRunning(+1);
    if (taluvo::RunPooled([request] {
            GiveQueued(*request);
            CountRunning(-1);
        }))
        return true;
    {
        std::lock_guard<std::mutex> guard(request->lock);
        request->noticesBusy = false;
    }
    CountRunning(-1);
    return false;
}

} // namespace taluvo::inet::detail
