// The record that carries one check of one page from whoever asks for it, through the fetch worker
// and the internet status callback, back to the window that shows the result.
#pragma once

#include "core/AutoHandle.h"
#include "core/InternetHandle.h"
#include "engine/ConnectionStates.h"
#include "platform/base/WinTypes.h"

#include <QString>

#include <atomic>

class CUpdater;
class CWholePageChecksum;

// Page status, as column status of table PAGES keeps it.
enum : int {
    statusNew = 1,
    statusError = 2,
    statusOrdinary = 3,
    statusUnknown = 4,
};

// Fetch stages of m_iStage.
enum : int {
    stageConnect = 0,
    stageOpenRequest = 1,
    stageSendRequest = 2,
    stageEndRequest = 3,
    stageReadData = 4,
};

constexpr DWORD kNoChecksum = 0xFFFFFFFFu; // never computed
constexpr DWORD kNoTime = 0xFFFFFFFFu; // -1: none / never

// Who writes which field. Three threads touch a context: the user-interface thread (U: its owner,
// CPageCheck, and the window that receives its notices), the check's worker (W: CUpdater::Run)
// and the internet layer's status callback (C: on the layer's threads, or on W during a call).
// There is no lock; the hand-offs are these:
// - Before Start, U fills the context; W reads it from its start on.
// - W and C exchange through m_hSignalEvent: W resets it before each step, C writes what the step
//   gives (error, status code, length, time) and then sets it; W reads those only after the event.
// - Every notice is sent (SendMessage) by W: U reads and writes the context while W waits in the
//   send. C only collects the connection states (m_connectionStates), which W sends. The finished
//   notice is W's last touch: from then on the context is U's alone.
// - A cancel (CPageCheck::Cancel, on U) asks the worker, sets m_bCancelled and the event, and
//   closes the handles (which the internet layer allows from any thread); it never writes the
//   outcome: W decides it once, and a cancel that comes after that changes nothing.
struct SPageCtx {
    SPageCtx();
    ~SPageCtx();
    SPageCtx(const SPageCtx&) = delete;
    SPageCtx& operator=(const SPageCtx&) = delete;

    // The values for no page; keeps the signal event (reset) and forgets the worker.
    void Reset();

    // Takes the checksum of the watched part of m_strHtml; marks the page new when it differs from
    // a stored one. Returns the checksum now in force. A page watched whole (no start or stop text)
    // takes it from read when given: the checksum its fetch took over m_strHtml's bytes as it read them.
    DWORD UpdateCRC32(const CWholePageChecksum* read = nullptr);

    // The text between the first "<title>" of m_strHtml and the "</title>" after it (letter case
    // ignored), without white space at its ends; empty when either is missing.
    QString GetHtmlTitle() const;

    // U before the check; read-only while it runs.
    QString m_strDescr;
    WORD m_nGroupId = 0xFFFF;
    WORD m_nPageId = 0xFFFF;
    QString m_strStartCheckMask;
    QString m_strStopCheckMask;
    // W opens and closes them; C reads them inside the step W waits for; a cancel closes them
    // from U. Whoever reads them after the finished notice finds them closed.
    CInternetHandle m_hConnect;
    CInternetHandle m_hRequest;
    // U before the check (a dialog sets its own window while no check runs).
    HWND m_hNotifyWnd = nullptr;
    // W, before each step; C reads it in that step's completion.
    int m_iStage = stageConnect;
    // W (reset at its start, the failure at its end) and C (a completion's error, before W
    // decides): atomic. U reads the outcome after the finished notice.
    std::atomic<DWORD> m_dwErrorCode { 0 };
    // C at the end-request completion (status code, length, time), before it sets the event; W
    // at its end; U reads them after the finished notice. U fills status code and time before.
    DWORD m_dwHttpStatusCode = 0;
    DWORD m_dwContentLength = 0;
    // U before the check; W after the body (UpdateCRC32); U after the finished notice.
    DWORD m_dwCheckSum = kNoChecksum;
    DWORD m_tLastModified = kNoTime;
    // W at its end; U before and after.
    DWORD m_tLastChecked = kNoTime;
    // U before the check; W at its start and end; U after the finished notice.
    int m_iStatus = statusUnknown;
    // W while it reads the body; U reads it in the reading notices (W waits in the send) and
    // after the finished notice.
    QString m_strHtml;
    // Made with the context. Reset by W, set by C and by a cancel.
    CAutoHandle m_hSignalEvent;
    // The worker serving the context, not owned (its CPageCheck owns it): U sets it when the
    // worker is made and clears it when the worker goes.
    CUpdater* m_pUpdater = nullptr;
    // A cancel from U sets it; the worker's Start clears it; C turns a completion into a cancel by
    // it.
    std::atomic<BOOL> m_bCancelled { FALSE };
    // Handles of the fetch whose closing notice has not come yet (C counts them; W resets it at
    // its start); the event is set when the last one came. The fetch waits for it before its
    // finished notice: no status notice can reach the context once its receiver may have freed it.
    std::atomic<int> m_nOpenHandles { 0 };
    CAutoHandle m_hHandlesClosed;
    // C adds the connection states; W clears them at its start and sends them (its own lock).
    CConnectionStates m_connectionStates;
};
