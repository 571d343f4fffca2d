#include "Controls/HtmlToolTipTools.h"

#include "platform/ui/Menu.h"

#include <algorithm>

namespace {

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool IsEmptyRect(const RECT& rect)
{
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

bool ContainsPoint(const RECT& rect, POINT point)
{
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

QString PictureBesideText(const QString& picture, const QString& text)
{
    return QStringLiteral("<table><tr><td>%1</td><td>%2</td></tr></table>").arg(picture, text);
}

QString Hex(quint64 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

} // namespace

QString ToolHtmlWithIcon(HICON icon, const QString& text)
{
    return PictureBesideText(
        QStringLiteral("<icon handle=%1>").arg(Hex(quint64(reinterpret_cast<quintptr>(icon)))), text);
}

QString ToolHtmlWithIcon(IconResourceId icon, SIZE size, const QString& text)
{
    return PictureBesideText(
        QStringLiteral("<icon idres=%1 width=%2 height=%3>").arg(icon.id).arg(size.cx).arg(size.cy), text);
}

QString ToolHtmlWithBitmap(BitmapResourceId bitmap, COLORREF mask, SIZE size, const QString& text)
{
    return PictureBesideText(QStringLiteral("<bmp idres=%1 mask=%2 width=%3 height=%4>")
                                 .arg(bitmap.id)
                                 .arg(Hex(mask))
                                 .arg(size.cx)
                                 .arg(size.cy),
        text);
}

QString ToolTextFromResource(StringResourceId text)
{
    QString loaded;
    if (!taluvo::ui::LoadStringResource(text.id, &loaded))
        return QString();
    return loaded;
}

void CHtmlToolRegistry::AddTool(HWND window, const HTMLTOOLINFO& tool)
{
    std::vector<HTMLTOOLINFO>& tools = m_tools[window];
    for (HTMLTOOLINFO& existing : tools) {
        if (SameRect(existing.rcBounds, tool.rcBounds)) {
            existing = tool;
            return;
        }
    }
    tools.push_back(tool);
}

void CHtmlToolRegistry::AddTool(HWND window, const QString& html, const RECT* rect, UINT toolId)
{
    HTMLTOOLINFO tool;
    tool.nID = toolId;
    if (rect)
        tool.rcBounds = *rect;
    tool.strHtml = html;
    AddTool(window, tool);
}

void CHtmlToolRegistry::AddTool(HWND window, StringResourceId text, const RECT* rect, UINT toolId)
{
    AddTool(window, ToolTextFromResource(text), rect, toolId);
}

void CHtmlToolRegistry::AddTool(HWND window, const QString& text, HICON icon, const RECT* rect, UINT toolId)
{
    AddTool(window, ToolHtmlWithIcon(icon, text), rect, toolId);
}

void CHtmlToolRegistry::AddTool(HWND window, StringResourceId text, HICON icon, const RECT* rect, UINT toolId)
{
    AddTool(window, ToolTextFromResource(text), icon, rect, toolId);
}

void CHtmlToolRegistry::AddTool(
    HWND window, const QString& text, IconResourceId icon, SIZE size, const RECT* rect, UINT toolId)
{
    AddTool(window, ToolHtmlWithIcon(icon, size, text), rect, toolId);
}

void CHtmlToolRegistry::AddTool(
    HWND window, StringResourceId text, IconResourceId icon, SIZE size, const RECT* rect, UINT toolId)
{
    AddTool(window, ToolTextFromResource(text), icon, size, rect, toolId);
}

void CHtmlToolRegistry::AddTool(
    HWND window, const QString& text, BitmapResourceId bitmap, COLORREF mask, SIZE size, const RECT* rect, UINT toolId)
{
    AddTool(window, ToolHtmlWithBitmap(bitmap, mask, size, text), rect, toolId);
}

void CHtmlToolRegistry::RemoveTool(HWND window, const RECT* rect)
{
    const auto entry = m_tools.find(window);
    if (entry == m_tools.end())
        return;
    if (!rect) {
        m_tools.erase(entry);
        return;
    }
    std::vector<HTMLTOOLINFO>& tools = entry->second;
    const auto tool
        = std::find_if(tools.begin(), tools.end(), [&](const HTMLTOOLINFO& t) { return SameRect(t.rcBounds, *rect); });
    if (tool == tools.end())
        return;
    tools.erase(tool);
    if (tools.empty())
        m_tools.erase(entry);
}

void CHtmlToolRegistry::RemoveAllTools()
{
    m_tools.clear();
    m_toolBars.clear();
}

bool CHtmlToolRegistry::GetToolInfo(HTMLTOOLINFO* out, HWND window, UINT toolId) const
{
    const auto entry = m_tools.find(window);
    if (entry == m_tools.end())
        return false;
    for (const HTMLTOOLINFO& tool : entry->second) {
        if (tool.nID == toolId) {
            if (out)
                *out = tool;
            return true;
        }
    }
    return false;
}

bool CHtmlToolRegistry::GetToolInfo(HTMLTOOLINFO* out, HWND window, const RECT& rect) const
{
    const auto entry = m_tools.find(window);
    if (entry == m_tools.end())
        return false;
    for (const HTMLTOOLINFO& tool : entry->second) {
        if (SameRect(tool.rcBounds, rect)) {
            if (out)
                *out = tool;
            return true;
        }
    }
    return false;
}

void CHtmlToolRegistry::UpdateTipText(const QString& html, HWND window, UINT toolId)
{
    HTMLTOOLINFO tool;
    if (!GetToolInfo(&tool, window, toolId))
        return;
    tool.strHtml = html;
    AddTool(window, tool);
}

void CHtmlToolRegistry::DelTool(HWND window, UINT toolId)
{
    HTMLTOOLINFO tool;
    if (GetToolInfo(&tool, window, toolId))
        RemoveTool(window, &tool.rcBounds);
}

void CHtmlToolRegistry::SetToolRect(HWND window, UINT toolId, const RECT& rect)
{
    const auto entry = m_tools.find(window);
    if (entry == m_tools.end())
        return;
    std::vector<HTMLTOOLINFO>& tools = entry->second;
    const auto tool = std::find_if(tools.begin(), tools.end(), [&](const HTMLTOOLINFO& t) { return t.nID == toolId; });
    if (tool == tools.end())
        return;
    tool->rcBounds = rect;
}

bool CHtmlToolRegistry::AddToolBar(HWND toolBar)
{
    if (IsToolBar(toolBar))
        return false;
    m_toolBars.push_back(toolBar);
    return true;
}

bool CHtmlToolRegistry::IsToolBar(HWND window) const
{
    return std::find(m_toolBars.begin(), m_toolBars.end(), window) != m_toolBars.end();
}

bool CHtmlToolRegistry::FindToolInWindow(HWND window, POINT clientPoint, HTMLTOOLINFO* out) const
{
    const auto entry = m_tools.find(window);
    if (entry == m_tools.end())
        return false;
    const std::vector<HTMLTOOLINFO>& tools = entry->second;
    const HTMLTOOLINFO* found = nullptr;
    if (tools.size() == 1 && IsEmptyRect(tools.front().rcBounds)) {
        found = &tools.front();
    } else {
        for (const HTMLTOOLINFO& tool : tools) {
            if (ContainsPoint(tool.rcBounds, clientPoint)) {
                found = &tool;
                break;
            }
        }
    }
    if (found && out)
        *out = *found;
    return found != nullptr;
}

int CHtmlToolRegistry::ToolCount(HWND window) const
{
    const auto entry = m_tools.find(window);
    return entry == m_tools.end() ? 0 : int(entry->second.size());
}
