// The steps a caller starts on a request, and its close. A step that can complete at once (the
// response is in when the request is ended, the transfer failed before it was sent) completes in
// the call, on the caller's thread, before the call returns ERROR_IO_PENDING; any other completes
// from the transfers' thread through the request's notices.
#include "platform/inet/InetObjects.h"

#include "platform/base/KernelObjects.h"

#include <utility>

namespace taluvo::inet::detail {

BOOL StartOperation(Request& request, Op op, std::unique_lock<std::mutex>& guard, bool noticesClaimed)
{
    if (request.closed.load()) {
        // The close has taken whatever was pending already: nothing would complete this step.
        guard.unlock();
        if (noticesClaimed)
            GiveClaimedNotices(request);
        SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
        return FALSE;
    }
    request.pending = op;
    request.syncDone = false;
    if (op == Op::Read)
        request.readSince = Clock::now();
    // A step that cannot complete now needs no wake-up of the transfers' thread: what completes it
    // (data, the end of the transfer, a time-out, the hold of a partial read) wakes it anyway. But
    // a paused transfer must go on for a read that wants more than was held.
    const bool resume = op == Op::Read && request.paused && !request.resumeWanted;
    if (resume)
        request.resumeWanted = true;
    QueueCompletion(request);
    const bool async = request.session->async;
    const bool give = noticesClaimed || (!request.notices.empty() && ClaimNotices(request));
    guard.unlock();
    if (resume)
        WakeTransfers();
    if (give)
        GiveClaimedNotices(request);
    if (async) {
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    guard.lock();
    request.changed.wait(guard, [&] { return request.syncDone || request.closed.load(); });
    if (!request.syncDone) {
        SetLastError(ERROR_INTERNET_OPERATION_CANCELLED);
        return FALSE;
    }
    if (!request.syncResult)
        SetLastError(request.syncError);
    return request.syncResult;
}

void CloseObject(const std::shared_ptr<Object>& object)
{
    object->closed.store(true);
    bool released = false;
    if (object->kind == Kind::Request) {
        Request& request = static_cast<Request&>(*object);
        Op pending;
        bool live;
        bool give;
        {
            std::lock_guard<std::mutex> guard(request.lock);
            pending = std::exchange(request.pending, Op::None);
            live = request.started && !request.ended;
            released = std::exchange(request.served, false);
            // Notices still queued with no thread giving them are given here: of a closed handle
            // only a completion taken before the close is still given.
            give = !request.notices.empty() && ClaimNotices(request);
            request.changed.notify_all();
        }
        // A transfer still under way ends at once. One that has ended holds nothing but memory
        // (its connection went back to the shared ones when it ended): the transfers' thread lets
        // it go at its next turn, which is within a second.
        if (live)
            WakeTransfers();
        if (give)
            GiveClaimedNotices(request);
        if (pending != Op::None && request.session->async) {
            INTERNET_ASYNC_RESULT result { FALSE, ERROR_INTERNET_OPERATION_CANCELLED };
            Notify(request, INTERNET_STATUS_REQUEST_COMPLETE, &result, sizeof(result));
        }
    }
    // The closing notice is the handle's last: given here when no notice runs, else by the last
    // one that ends.
    bool closeNow = false;
    {
        std::lock_guard<std::mutex> guard(object->noticeLock);
        if (!object->closingGiven && !object->closingOwed) {
            if (object->noticesRunning == 0)
                closeNow = object->closingGiven = true;
            else
                object->closingOwed = true;
        }
    }
    if (closeNow)
        GiveClosingNotice(*object);
    if (released)
        CountRunning(-1);
}

} // namespace taluvo::inet::detail
