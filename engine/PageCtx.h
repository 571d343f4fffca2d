// The record that carries one check of one page from whoever asks for it, through the fetch worker
// and the internet status callback, back to the window that shows the result.
#pragma once

#include "core/AutoHandle.h"
#include "core/InternetHandle.h"
#include "platform/base/WinTypes.h"

#include <QString>

#include <atomic>

class CUpdater;

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

constexpr DWORD kNoChecksum = 0xFFFFFFFFu;  // never computed
constexpr DWORD kNoTime = 0xFFFFFFFFu;      // -1: none / never

struct SPageCtx {
    SPageCtx();
    ~SPageCtx();
    SPageCtx(const SPageCtx&) = delete;
    SPageCtx& operator=(const SPageCtx&) = delete;

    // The values for no page; keeps the signal event (reset) and forgets the worker.
    void Reset();

    // Takes the checksum of the watched part of m_strHtml; marks the page new when it differs from
    // a stored one. Returns the checksum now in force.
    DWORD UpdateCRC32();

    // The text between the first "<title>" of m_strHtml and the "</title>" after it (letter case
    // ignored), without white space at its ends; empty when either is missing.
    QString GetHtmlTitle() const;

    QString m_strDescr;
    WORD m_nGroupId = 0xFFFF;
    WORD m_nPageId = 0xFFFF;
    QString m_strStartCheckMask;
    QString m_strStopCheckMask;
    CInternetHandle m_hConnect;
    CInternetHandle m_hRequest;
    HWND m_hNotifyWnd = nullptr;
    int m_iStage = stageConnect;
    // Written by the cancel of the user-interface thread while the fetch runs elsewhere.
    std::atomic<DWORD> m_dwErrorCode{0};
    DWORD m_dwHttpStatusCode = 0;
    DWORD m_dwContentLength = 0;
    DWORD m_dwCheckSum = kNoChecksum;
    DWORD m_tLastModified = kNoTime;
    DWORD m_tLastChecked = kNoTime;
    int m_iStatus = statusUnknown;
    QString m_strHtml;
    CAutoHandle m_hSignalEvent;
    CUpdater* m_pUpdater = nullptr;
    std::atomic<BOOL> m_bCancelled{FALSE};
    // Handles of the fetch whose closing notice has not come yet; the event is set when the last
    // one came. The fetch waits for it before its finished notice: no status notice can reach the
    // context once its receiver may have freed it.
    std::atomic<int> m_nOpenHandles{0};
    CAutoHandle m_hHandlesClosed;
};
