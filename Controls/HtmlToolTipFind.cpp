// Which tool lies under the mouse: a toolbar's button, or a registered tool of the window under
// the point (the drop-down combo box answering for its edit field, disabled windows left out);
// and the window description of the window-info mode.
#include "Controls/HtmlToolTip.h"

#include "core/DebugTracer.h"
#include "platform/base/Format.h"
#include "platform/ui/PopupWindow.h"

TRACE_MODULE("CHtmlToolTip");

namespace {

QString ClassNameOf(HWND window, int capacity)
{
    std::vector<char16_t> buffer(static_cast<size_t>(capacity) + 1, u'\0');
    const int length = GetClassName(window, buffer.data(), capacity + 1);
    return QString::fromUtf16(buffer.data(), length > 0 ? length : 0);
}

bool IsDropDownCombo(HWND window)
{
    return ClassNameOf(window, 8).compare(QStringLiteral("combobox"), Qt::CaseInsensitive) == 0
        && (GetWindowLong(window, GWL_STYLE) & 0x0F) == static_cast<LONG>(CBS_DROPDOWN);
}

// One row of the window description. Values are window texts of any program part, so they are
// made plain text: markup characters become harmless, and long values are cut.
QString InfoRow(const QString& label, QString value)
{
    if (value.size() > 25)
        value = value.left(21) + QStringLiteral(" ...");
    value.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    value.replace(QLatin1Char('<'), QLatin1Char('?'));
    return QStringLiteral("<tr><td width=70 bgcolor=buttonface>%1</td><td width=130 bgcolor=window>%2</td></tr>")
        .arg(label, value);
}

QString Hex8(const void* handle)
{
    return taluvo::Format(u"0x%08X", static_cast<unsigned>(reinterpret_cast<quintptr>(handle)));
}

} // namespace

HWND CHtmlToolTip::FindToolBarItem(POINT screenPoint, HTMLTOOLINFO* out) const
{
    TRACE_SCOPE(u"CHtmlToolTip::FindToolBarItem");
    if (m_tools.ToolBars().empty())
        return nullptr;
    HWND under = WindowFromPoint(screenPoint);
    if (!under || !m_tools.IsToolBar(under))
        return nullptr;
    POINT client = screenPoint;
    ::ScreenToClient(under, &client);
    const int count = static_cast<int>(::SendMessage(under, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        RECT button {};
        if (!::SendMessage(under, TB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&button)))
            continue;
        if (!PtInRect(&button, client))
            continue;
        TBBUTTON info {};
        ::SendMessage(under, TB_GETBUTTON, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&info));
        HTMLTOOLINFO tool;
        tool.nID = static_cast<UINT>(info.idCommand);
        tool.rcBounds = button;
        tool.nMask = 0;
        tool.strHtml = m_renderer.GetResStringLine(static_cast<UINT>(info.idCommand), 1);
        if (out)
            *out = tool;
        return under;
    }
    return nullptr;
}

HWND CHtmlToolTip::FindTool(POINT parentPoint, HTMLTOOLINFO* out) const
{
    return FindToolWindow(parentPoint, out, TRUE);
}

HWND CHtmlToolTip::FindToolWindow(POINT parentPoint, HTMLTOOLINFO* out, BOOL enabledOnly) const
{
    POINT screen = parentPoint;
    ::ClientToScreen(m_hParentWnd, &screen);
    HWND under = WindowFromPoint(screen);
    if (!under)
        return nullptr;
    HWND parent = ::GetParent(under);
    if (!parent)
        return nullptr;
    HWND candidate = nullptr;
    if (IsDropDownCombo(parent)) {
        candidate = parent;
    } else {
        POINT inside = screen;
        ::ScreenToClient(under, &inside);
        candidate = ChildWindowFromPoint(under, inside);
        if (!candidate)
            return nullptr;
    }
    if (enabledOnly && !::IsWindowEnabled(candidate))
        return nullptr;
    if (FindToolInWindow(candidate, screen, out))
        return candidate;
    return enabledOnly ? nullptr : candidate;
}

BOOL CHtmlToolTip::FindToolInWindow(HWND window, POINT screenPoint, HTMLTOOLINFO* out) const
{
    POINT client = screenPoint;
    ::ScreenToClient(window, &client);
    return m_tools.FindToolInWindow(window, client, out) ? TRUE : FALSE;
}

QString CHtmlToolTip::GetWindowInfoHtml(POINT parentPoint) const
{
    HWND window = FindToolWindow(parentPoint, nullptr, FALSE);
    HWND owner = window ? ::GetParent(window) : nullptr;
    RECT rect {};
    if (window)
        ::GetWindowRect(window, &rect);
    HTMLTOOLINFO unused;
    const bool hasTool = FindTool(parentPoint, &unused) != nullptr;

    QString html = QStringLiteral("<table><tr><td><font color=darkblue>Window</font><table border=1>");
    html += InfoRow(QStringLiteral("Class name"), window ? ClassNameOf(window, 255) : QString());
    html += InfoRow(QStringLiteral("Title"), window ? ::GetWindowText(window) : QString());
    html += InfoRow(QStringLiteral("Handle"), Hex8(window));
    html += InfoRow(QStringLiteral("Control ID"), QString::number(window ? ::GetDlgCtrlID(window) : 0));
    html += InfoRow(QStringLiteral("Styles"),
        taluvo::Format(u"0x%08X", static_cast<unsigned>(window ? ::GetWindowLong(window, GWL_STYLE) : 0)));
    html += InfoRow(
        QStringLiteral("RECT"), taluvo::Format(u"(%d, %d)-(%d, %d)", rect.left, rect.top, rect.right, rect.bottom));
    html += InfoRow(QStringLiteral("Width"), QString::number(rect.right - rect.left));
    html += InfoRow(QStringLiteral("Height"), QString::number(rect.bottom - rect.top));
    html += InfoRow(QStringLiteral("Has Tooltip"), hasTool ? QStringLiteral("Yes") : QStringLiteral("No"));
    html += QStringLiteral("</table></td><td><font color=darkblue>Window Owner</font><table border=1>");
    html += InfoRow(QStringLiteral("Class name"), owner ? ClassNameOf(owner, 255) : QStringLiteral("N/A"));
    html += InfoRow(QStringLiteral("Title"), owner ? ::GetWindowText(owner) : QStringLiteral("N/A"));
    html += InfoRow(QStringLiteral("Handle"), Hex8(owner));
    html += QStringLiteral("</table><br><font color=darkblue>Mouse Cursor</font><table border=1>");
    html += InfoRow(QStringLiteral("X"), QString::number(parentPoint.x));
    html += InfoRow(QStringLiteral("Y"), QString::number(parentPoint.y));
    html += QStringLiteral("</table></td></tr></table>");
    return html;
}
