// The hyperlink control: a static control taken over (SubclassWindow) to show a link, in the link
// colour (blue; purple once visited), underlined, with the hand cursor. A click with the left
// button, or Enter or Space while it has the focus, follows the link: it opens the target with the
// desktop's handler, or, in command-button mode (HLINK_COMMANDBUTTON), sends the parent
// WM_COMMAND with the control's id and BN_CLICKED and opens nothing. A disabled link does nothing.
//
//     CHyperLink m_link;   // in OnInitDialog:
//     m_link.SubclassWindow(GetDlgItem(1013));
//     m_link.SetHyperLinkExtendedStyle(HLINK_COMMANDBUTTON);
//     m_link.SetLabel(url); m_link.SetHyperLink(url);
#pragma once

#include "platform/ui/AtlWin.h"

#include <QString>

constexpr DWORD HLINK_UNDERLINED = 0x00000000;
constexpr DWORD HLINK_NOTUNDERLINED = 0x00000001;
constexpr DWORD HLINK_COMMANDBUTTON = 0x00000004;
// The link follows on the press of the button rather than its release (a link that acts at once).
constexpr DWORD HLINK_ACTONPRESS = 0x00010000;

class CHyperLink : public CWindowImpl<CHyperLink> {
public:
    static constexpr COLORREF kLinkColor = 0x00FF0000; // blue (0x00BBGGRR)
    static constexpr COLORREF kVisitedColor = 0x00800080; // purple

    CHyperLink() = default;
    ~CHyperLink() override;
    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    // Takes over a static control (its text becomes the label, and the target while none is set).
    BOOL SubclassWindow(HWND hWnd);

    // The text shown; the control's window text.
    BOOL SetLabel(const QString& label);
    QString GetLabel() const { return GetWindowText(); }
    // What a click opens; the label when never set.
    BOOL SetHyperLink(const QString& target);
    QString GetHyperLink() const { return m_target.isNull() ? GetLabel() : m_target; }

    DWORD GetHyperLinkExtendedStyle() const { return m_exStyle; }
    // Sets the styles of the mask (all when the mask is 0); returns the previous styles.
    DWORD SetHyperLinkExtendedStyle(DWORD exStyle, DWORD mask = 0);
    bool IsCommandButton() const { return (m_exStyle & HLINK_COMMANDBUTTON) != 0; }
    bool IsVisited() const { return m_visited; }

    // Follows the link as a click does; FALSE when the target could not be opened.
    BOOL Navigate();

    BEGIN_MSG_MAP(CHyperLink)
    MESSAGE_HANDLER(WM_LBUTTONDOWN, OnButtonDown)
    MESSAGE_HANDLER(WM_LBUTTONUP, OnButtonUp)
    MESSAGE_HANDLER(WM_KEYDOWN, OnKeyDown)
    END_MSG_MAP()

private:
    LRESULT OnButtonDown(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnButtonUp(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnKeyDown(UINT, WPARAM wParam, LPARAM, BOOL& bHandled);
    void ApplyLook();

    QString m_target; // null: the label
    DWORD m_exStyle = 0;
    bool m_visited = false;
    bool m_pressed = false;
};
