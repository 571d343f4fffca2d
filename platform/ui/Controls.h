// Control wrappers: thin handle classes that speak the controls' messages. Copying one copies the
// handle; the control belongs to its dialog or parent window.
#pragma once

#include "platform/ui/AtlWin.h"

class CEdit : public CWindow {
public:
    CEdit(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CEdit& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    // Selects from start to end (end -1: to the end; start -1: removes the selection); the caret
    // goes to the end of the range.
    void SetSel(int start, int end, BOOL noScroll = FALSE)
    {
        SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end);
        if (!noScroll)
            SendMessage(EM_SCROLLCARET);
    }
    void SetSelAll(BOOL noScroll = FALSE) { SetSel(0, -1, noScroll); }
    void GetSel(int& start, int& end) const
    {
        DWORD s = 0, e = 0;
        SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        start = static_cast<int>(s);
        end = static_cast<int>(e);
    }
    void ReplaceSel(const QString& text, BOOL canUndo = FALSE)
    {
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
        const QString copy = text;
        SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(copy.utf16()));
    }
    // Puts the caret after the last character and the new text there.
    void AppendText(const QString& text, BOOL noScroll = FALSE, BOOL canUndo = FALSE)
    {
        const int length = GetWindowTextLength();
        SetSel(length, length, noScroll);
        ReplaceSel(text, canUndo);
    }
    void ScrollCaret() { SendMessage(EM_SCROLLCARET); }
    void SetLimitText(UINT max) { SendMessage(EM_SETLIMITTEXT, max); }
    void LimitText(int chars = 0) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(chars)); }
    UINT GetLimitText() const { return static_cast<UINT>(SendMessage(EM_GETLIMITTEXT)); }
    BOOL SetReadOnly(BOOL readOnly = TRUE) { return static_cast<BOOL>(SendMessage(EM_SETREADONLY, readOnly)); }
    int GetLineCount() const { return static_cast<int>(SendMessage(EM_GETLINECOUNT)); }
    int GetFirstVisibleLine() const { return static_cast<int>(SendMessage(EM_GETFIRSTVISIBLELINE)); }
    BOOL LineScroll(int lines, int chars = 0)
    {
        return static_cast<BOOL>(SendMessage(EM_LINESCROLL, static_cast<WPARAM>(chars), lines));
    }
    void SetPasswordChar(char16_t ch) { SendMessage(EM_SETPASSWORDCHAR, ch); }
    BOOL GetModify() const { return static_cast<BOOL>(SendMessage(EM_GETMODIFY)); }
    void SetModify(BOOL modified = TRUE) { SendMessage(EM_SETMODIFY, modified); }
    BOOL CanUndo() const { return static_cast<BOOL>(SendMessage(EM_CANUNDO)); }
    BOOL Undo() { return static_cast<BOOL>(SendMessage(EM_UNDO)); }
    void EmptyUndoBuffer() { SendMessage(EM_EMPTYUNDOBUFFER); }
};

class CStatic : public CWindow {
public:
    CStatic(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CStatic& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    HICON SetIcon(HICON icon)
    {
        return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
    }
    HICON GetIcon() const { return reinterpret_cast<HICON>(SendMessage(STM_GETICON)); }
};

class CButton : public CWindow {
public:
    CButton(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CButton& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
    UINT GetState() const { return static_cast<UINT>(SendMessage(BM_GETSTATE)); }
    UINT GetButtonStyle() const { return GetStyle() & 0xFFFF; }
    void SetButtonStyle(UINT style, BOOL redraw = TRUE) { SendMessage(BM_SETSTYLE, style, redraw); }
    void Click() { SendMessage(BM_CLICK); }
};

class CComboBox : public CWindow {
public:
    CComboBox(HWND hWnd = nullptr)
        : CWindow(hWnd)
    {
    }
    CComboBox& operator=(HWND hWnd)
    {
        m_hWnd = hWnd;
        return *this;
    }
    int AddString(const QString& text)
    {
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
        const QString copy = text;
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(copy.utf16())));
    }
    int InsertString(int index, const QString& text)
    {
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
        const QString copy = text;
        return static_cast<int>(
            SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(copy.utf16())));
    }
    int DeleteString(UINT index) { return static_cast<int>(SendMessage(CB_DELETESTRING, index)); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    int GetLBTextLen(int index) const
    {
        return static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
    }
    int GetLBText(int index, QString& text) const
    {
        const int length = GetLBTextLen(index);
        if (length < 0) {
            text.clear();
            return CB_ERR;
        }
        std::u16string buffer(static_cast<size_t>(length) + 1, u'\0');
        const int copied = static_cast<int>(
            SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data())));
        text = QString::fromUtf16(buffer.data(), std::max(0, copied));
        return copied;
    }
    DWORD_PTR GetItemData(int index) const
    {
        return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    int SetItemData(int index, DWORD_PTR data)
    {
        return static_cast<int>(SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
    }
    int FindStringExact(int startAfter, const QString& text) const
    {
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
        const QString copy = text;
        return static_cast<int>(
            SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(copy.utf16())));
    }
    int FindString(int startAfter, const QString& text) const
    {
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
        const QString copy = text;
        return static_cast<int>(
            SendMessage(CB_FINDSTRING, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(copy.utf16())));
    }
    int SelectString(int startAfter, const QString& text)
    {
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization): NUL-terminated, alive if a receiver edits text
        const QString copy = text;
        return static_cast<int>(
            SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(copy.utf16())));
    }
    BOOL GetDroppedState() const { return static_cast<BOOL>(SendMessage(CB_GETDROPPEDSTATE)); }
    void ShowDropDown(BOOL show = TRUE) { SendMessage(CB_SHOWDROPDOWN, show); }
};
