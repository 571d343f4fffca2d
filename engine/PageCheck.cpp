#include "engine/PageCheck.h"

#include "engine/Updater.h"
#include "platform/base/KernelObjects.h"
#include "platform/base/Time.h"

#include <algorithm>

namespace {

constexpr DWORD kCancelRepeatMs = 50;

} // namespace

CPageCheck::CPageCheck(std::unique_ptr<SPageCtx> ctx)
    : m_owned(std::move(ctx))
    , m_ctx(m_owned.get())
{
}

CPageCheck::CPageCheck(SPageCtx& borrowed)
    : m_ctx(&borrowed)
{
}

CPageCheck::~CPageCheck()
{
    DropWorker();
}

void CPageCheck::DropWorker()
{
    if (!m_worker)
        return;
    if (IsRunning())
        CancelAndWait(INFINITE);
    // A worker is seen ended just before its thread signals its end object: that signal is its
    // thread's last touch of it.
    if (const HANDLE end = m_worker->GetHandle())
        WaitForSingleObject(end, INFINITE);
    if (m_ctx->m_pUpdater == m_worker.get())
        m_ctx->m_pUpdater = nullptr;
    m_worker.reset();
}

void CPageCheck::MakeWorker(HINTERNET hInternet, const QString& url, CPreferences* pPrefs)
{
    DropWorker();
    m_bCancelRequested = false;
    m_worker = std::make_unique<CUpdater>(hInternet, m_ctx, url, pPrefs);
    m_ctx->m_pUpdater = m_worker.get();
}

bool CPageCheck::Start()
{
    m_bCancelRequested = false;
    return m_worker && m_worker->Start();
}

bool CPageCheck::IsRunning() const
{
    return m_worker && !m_worker->IsStopped();
}

QString CPageCheck::Url() const
{
    return m_worker ? m_worker->GetUrl() : QString();
}

void CPageCheck::Cancel()
{
    m_bCancelRequested = true;
    // The cancel only asks: the worker writes the outcome, and a fetch that has decided it already
    // keeps it (its worker only has its thread to end).
    if (!m_worker || !m_worker->AskCancel())
        return;
    SPageCtx& ctx = *m_ctx;
    if (ctx.m_hSignalEvent.IsValid())
        SetEvent(ctx.m_hSignalEvent);
    m_worker->CancelUpdate();
}

bool CPageCheck::CancelAndWait(DWORD waitMs)
{
    if (!IsRunning())
        return true;
    Cancel();
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD spent = GetTickCount() - start;
        if (waitMs != INFINITE && spent >= waitMs)
            return !IsRunning();
        const DWORD slice = waitMs == INFINITE ? kCancelRepeatMs : std::min(kCancelRepeatMs, waitMs - spent);
        if (m_worker->Wait(slice))
            return true;
        Cancel();
    }
}
