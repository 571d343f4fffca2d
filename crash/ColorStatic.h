// A static control in colours of its own: it answers the colour requests its dialog reflects to it
// with the text and background colours of its state (enabled or disabled), and a reflected
// dialog-colour request with a brush of its own. It owns at most three brushes (enabled
// background, disabled background, dialog colour), deletes a brush when a new colour replaces it
// and all of them when it is destroyed.
#pragma once

#include "platform/ui/AtlWin.h"
#include "platform/ui/Gdi.h"

class CColorStatic : public CWindow {
public:
    // As a colour argument: the system's colour for that role.
    static constexpr COLORREF kSystemColor = 0xFFFFFFFF;

    CColorStatic() = default;
    ~CColorStatic();
    CColorStatic(const CColorStatic&) = delete;
    CColorStatic& operator=(const CColorStatic&) = delete;

    // Takes over the messages of an existing static control; FALSE when there is none.
    BOOL SubclassWindow(HWND hwnd);

    // Enabled: button text on button face; disabled: grey text on button face (system brushes).
    void ResetColors();
    void SetTextColor(COLORREF color);
    void SetBkColor(COLORREF color);
    void SetDisabledColors(COLORREF text, COLORREF background);
    // The brush a reflected dialog-colour request gets.
    void SetDialogColor(COLORREF color);

    LRESULT OnCtlColorStatic(HDC dc);
    LRESULT OnCtlColorDlg(UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct Colors {
        COLORREF text = 0;
        COLORREF background = 0;
        HBRUSH brush = nullptr;
        bool ownsBrush = false;
    };
    static LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static void SetBackground(Colors& colors, COLORREF color);
    static void FreeBrush(Colors& colors);
    void Unsubclass();
    void Repaint();

    WNDPROC m_superProc = nullptr;
    Colors m_enabled, m_disabled;
    HBRUSH m_dialogBrush = nullptr;
};
