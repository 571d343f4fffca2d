// A window whose children exercise the painting path: a static coloured by its parent's answer to
// WM_CTLCOLORSTATIC, the same words in a bold font (WM_SETFONT) and in the normal font, a static
// subclassed to paint itself in WM_PAINT, and a plain child drawn on through GetDC. The offscreen
// tests read it through the window's device context, the X11 tests from the screen.
#pragma once

#include "platform/ui/AtlWin.h"
#include "platform/ui/Gdi.h"

#include <QImage>

#include <algorithm>

namespace taluvo::test::paint {

enum : int { kWhiteStatic = 101, kBoldStatic, kNormalStatic, kSelfPainted, kDrawnOn };

constexpr COLORREF kPaintedColor = RGB(200, 30, 30);
constexpr COLORREF kDrawnColor = RGB(20, 160, 60);
inline const QString kSampleWords = QStringLiteral("Wide words in a row");

inline RECT PlaceOf(int id)
{
    switch (id) {
    case kWhiteStatic:
        return RECT { 10, 10, 200, 40 };
    case kBoldStatic:
        return RECT { 10, 50, 300, 70 };
    case kNormalStatic:
        return RECT { 10, 80, 300, 100 };
    case kSelfPainted:
        return RECT { 210, 10, 260, 40 };
    default:
        return RECT { 270, 10, 320, 40 };
    }
}

// The subclass of the self-painted static: it paints itself and never lets the control paint.
inline WNDPROC g_staticProc = nullptr;
inline LRESULT SelfPaintingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return CallWindowProc(g_staticProc, hwnd, message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH brush = CreateSolidBrush(kPaintedColor);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    EndPaint(hwnd, &ps);
    return 0;
}

class CPaintScene : public CWindowImpl<CPaintScene> {
public:
    BEGIN_MSG_MAP(CPaintScene)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_CTLCOLORSTATIC, OnCtlColorStatic)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    END_MSG_MAP()

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&)
    {
        for (int id : { kWhiteStatic, kBoldStatic, kNormalStatic, kSelfPainted }) {
            const RECT r = PlaceOf(id);
            const QString text = id == kWhiteStatic ? QStringLiteral("On white") : kSampleWords;
            CreateWindowEx(0, u"Static", reinterpret_cast<LPCWSTR>(text.utf16()), WS_CHILD | WS_VISIBLE | SS_LEFT,
                r.left, r.top, r.right - r.left, r.bottom - r.top, m_hWnd,
                reinterpret_cast<HMENU>(static_cast<uintptr_t>(id)), nullptr, nullptr);
        }
        const RECT r = PlaceOf(kDrawnOn);
        CreateWindowEx(0, u"TaluvoWindow", u"", WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
            r.bottom - r.top, m_hWnd, reinterpret_cast<HMENU>(static_cast<uintptr_t>(kDrawnOn)), nullptr, nullptr);
        m_bold = CreateFont(16, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, u"DejaVu Sans");
        m_normal = CreateFont(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, u"DejaVu Sans");
        ::SendMessage(GetDlgItem(kBoldStatic), WM_SETFONT, reinterpret_cast<WPARAM>(m_bold), TRUE);
        ::SendMessage(GetDlgItem(kNormalStatic), WM_SETFONT, reinterpret_cast<WPARAM>(m_normal), TRUE);
        g_staticProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtr(GetDlgItem(kSelfPainted), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SelfPaintingProc)));
        m_white = CreateSolidBrush(RGB(255, 255, 255));
        return 0;
    }
    LRESULT OnCtlColorStatic(UINT, WPARAM wParam, LPARAM lParam, BOOL& handled)
    {
        if (::GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) != kWhiteStatic) {
            handled = FALSE;
            return 0;
        }
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<LRESULT>(m_white);
    }
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled)
    {
        handled = FALSE;
        return 0;
    }
    ~CPaintScene() override
    {
        if (IsWindow())
            DestroyWindow();
        for (HFONT font : { m_bold, m_normal })
            if (font)
                DeleteObject(FontObject(font));
        if (m_white)
            DeleteObject(m_white);
    }

    // Draws on the plain child through its own device context, outside any WM_PAINT.
    void DrawThroughGetDc()
    {
        HWND child = GetDlgItem(kDrawnOn);
        HDC dc = GetDC(child);
        RECT client;
        ::GetClientRect(child, &client);
        HBRUSH brush = CreateSolidBrush(kDrawnColor);
        FillRect(dc, &client, brush);
        DeleteObject(brush);
        ReleaseDC(child, dc);
    }

    HFONT m_bold = nullptr;
    HFONT m_normal = nullptr;
    HBRUSH m_white = nullptr;
};

// Reading an image of the scene's client area (0xAARRGGBB pixels).
inline COLORREF ColorAt(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}
inline int Brightness(QRgb p)
{
    return (qRed(p) + qGreen(p) + qBlue(p)) / 3;
}
// Columns from the first to the last one holding a dark pixel inside the rectangle.
inline int InkWidth(const QImage& image, const RECT& r)
{
    int first = -1;
    int last = -1;
    for (int x = r.left; x < r.right && x < image.width(); ++x)
        for (int y = r.top; y < r.bottom && y < image.height(); ++y)
            if (Brightness(image.pixel(x, y)) < 100) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return first < 0 ? 0 : last - first + 1;
}
// The share (0-100) of the rectangle's pixels that have exactly this colour.
inline int ShareOf(const QImage& image, const RECT& r, COLORREF color)
{
    int hits = 0;
    int all = 0;
    for (int y = r.top; y < r.bottom && y < image.height(); ++y)
        for (int x = r.left; x < r.right && x < image.width(); ++x) {
            ++all;
            hits += ColorAt(image, x, y) == color;
        }
    return all ? hits * 100 / all : 0;
}

} // namespace taluvo::test::paint
