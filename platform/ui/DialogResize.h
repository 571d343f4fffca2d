// Resizable dialogs: CDialogResize<T> lays a dialog's controls out again when it is resized, each
// control anchored by its DLSZ_* flags (grow with the dialog in width or height, or move with its
// right or bottom edge), puts a size grip in the lower right corner (hidden while the dialog is
// maximised), and answers WM_GETMINMAXINFO with the dialog's size at initialisation as the smallest
// size it can be given.
//
//     class CMyDlg : public CDialogImpl<CMyDlg>, public CDialogResize<CMyDlg> {
//         BEGIN_DLGRESIZE_MAP(CMyDlg)
//             DLGRESIZE_CONTROL(IDC_TEXT, DLSZ_SIZE_X | DLSZ_SIZE_Y)
//             DLGRESIZE_CONTROL(IDOK, DLSZ_MOVE_X | DLSZ_MOVE_Y)
//         END_DLGRESIZE_MAP()
//         BEGIN_MSG_MAP(CMyDlg) ... CHAIN_MSG_MAP(CDialogResize<CMyDlg>) END_MSG_MAP()
//         // in OnInitDialog: DlgResize_Init();
//     };
#pragma once

#include "platform/ui/AtlWin.h"
#include "platform/ui/Frame.h"

#include <vector>

constexpr DWORD DLSZ_SIZE_X = 0x00000001;
constexpr DWORD DLSZ_SIZE_Y = 0x00000002;
constexpr DWORD DLSZ_MOVE_X = 0x00000004;
constexpr DWORD DLSZ_MOVE_Y = 0x00000008;
constexpr DWORD DLSZ_REPAINT = 0x00000010;

// The size grip's control id is the status bar's (ATL_IDW_STATUS_BAR), as in a frame window.

struct MINMAXINFO {
    POINT ptReserved {};
    POINT ptMaxSize {};
    POINT ptMaxPosition {};
    POINT ptMinTrackSize {};
    POINT ptMaxTrackSize {};
};

struct _AtlDlgResizeMap {
    int m_nCtlID;
    DWORD m_dwResizeFlags;
};

#define BEGIN_DLGRESIZE_MAP(thisClass)                                                                                 \
    static const _AtlDlgResizeMap* GetDlgResizeMap()                                                                   \
    {                                                                                                                  \
        static const _AtlDlgResizeMap theMap[] = {

#define DLGRESIZE_CONTROL(id, flags) { id, flags },

#define END_DLGRESIZE_MAP()                                                                                            \
    { -1, 0 },                                                                                                         \
    }                                                                                                                  \
    ;                                                                                                                  \
    return theMap;                                                                                                     \
    }

namespace taluvo::ui {
// Lets a dialog made with a fixed size be resized, asks it for its track sizes (WM_GETMINMAXINFO)
// and keeps the window within them; adds the size grip child (ATL_IDW_STATUS_BAR) when asked.
void MakeResizable(HWND dialog, bool sizeGrip);
} // namespace taluvo::ui

template <class T> class CDialogResize {
public:
    struct ControlPlace {
        int id;
        DWORD flags;
        RECT rect; // client coordinates at initialisation
    };

    void DlgResize_Init(bool addGripper = true, bool useMinTrackSize = true, DWORD forceStyle = WS_CLIPCHILDREN)
    {
        T* self = static_cast<T*>(this);
        CWindow dialog(self->m_hWnd);
        dialog.ModifyStyle(0, forceStyle | WS_THICKFRAME);
        RECT client;
        dialog.GetClientRect(&client);
        m_sizeDialog = SIZE { client.right, client.bottom };
        RECT window;
        dialog.GetWindowRect(&window);
        m_ptMinTrackSize = POINT { window.right - window.left, window.bottom - window.top };
        m_bMinTrackSize = useMinTrackSize;
        m_bGripper = addGripper;
        m_places.clear();
        for (const _AtlDlgResizeMap* entry = T::GetDlgResizeMap(); entry->m_nCtlID != -1; ++entry) {
            HWND control = dialog.GetDlgItem(entry->m_nCtlID);
            if (!control)
                continue;
            RECT rect;
            ::GetWindowRect(control, &rect);
            POINT topLeft { rect.left, rect.top };
            POINT bottomRight { rect.right, rect.bottom };
            dialog.ScreenToClient(&topLeft);
            dialog.ScreenToClient(&bottomRight);
            m_places.push_back({ entry->m_nCtlID, entry->m_dwResizeFlags,
                RECT { topLeft.x, topLeft.y, bottomRight.x, bottomRight.y } });
        }
        taluvo::ui::MakeResizable(self->m_hWnd, addGripper);
    }

    void DlgResize_UpdateLayout(int width, int height)
    {
        T* self = static_cast<T*>(this);
        const int dx = width - m_sizeDialog.cx;
        const int dy = height - m_sizeDialog.cy;
        for (const ControlPlace& place : m_places) {
            RECT r = place.rect;
            if (place.flags & DLSZ_SIZE_X)
                r.right += dx;
            if (place.flags & DLSZ_MOVE_X) {
                r.left += dx;
                r.right += dx;
            }
            if (place.flags & DLSZ_SIZE_Y)
                r.bottom += dy;
            if (place.flags & DLSZ_MOVE_Y) {
                r.top += dy;
                r.bottom += dy;
            }
            HWND control = ::GetDlgItem(self->m_hWnd, place.id);
            ::SetWindowPos(
                control, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
            if (place.flags & DLSZ_REPAINT)
                ::InvalidateRect(control, nullptr, TRUE);
        }
        if (HWND grip = ::GetDlgItem(self->m_hWnd, ATL_IDW_STATUS_BAR)) {
            RECT r;
            ::GetClientRect(grip, &r);
            ::SetWindowPos(
                grip, nullptr, width - r.right, height - r.bottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult, DWORD = 0)
    {
        T* self = static_cast<T*>(this);
        if (uMsg == WM_SIZE && !m_places.empty()) {
            if (m_bGripper) {
                if (HWND grip = ::GetDlgItem(self->m_hWnd, ATL_IDW_STATUS_BAR)) {
                    if (wParam == SIZE_MAXIMIZED)
                        ::ShowWindow(grip, SW_HIDE);
                    else if (wParam == SIZE_RESTORED)
                        ::ShowWindow(grip, SW_SHOW);
                }
            }
            if (wParam != SIZE_MINIMIZED)
                DlgResize_UpdateLayout(LOWORD(lParam), HIWORD(lParam));
            lResult = 0;
            return FALSE; // the dialog's own WM_SIZE handling runs as well
        }
        if (uMsg == WM_GETMINMAXINFO && m_bMinTrackSize && !m_places.empty()) {
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = m_ptMinTrackSize;
            lResult = 0;
            return TRUE;
        }
        return FALSE;
    }

    SIZE m_sizeDialog {};
    POINT m_ptMinTrackSize { -1, -1 };
    bool m_bMinTrackSize = true;
    bool m_bGripper = true;
    std::vector<ControlPlace> m_places;
};
