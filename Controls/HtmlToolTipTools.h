// The tooltip's registry of tools: which window, and which rectangle of it, shows which HTML; the
// toolbars whose buttons are tools by themselves; and the hit test that finds the tool under a
// point. It knows nothing of windows beyond their handles: turning screen points into client
// points and asking toolbars for their buttons is the tooltip window's part.
#pragma once

#include "Controls/HtmlToolInfo.h"

#include <map>
#include <vector>

// What a tool is given besides plain HTML. Each kind is its own type, so a resource id can never
// be taken for a text or a handle.
struct StringResourceId {
    UINT id = 0;
};
struct IconResourceId {
    UINT id = 0;
};
struct BitmapResourceId {
    UINT id = 0;
};

// The HTML of a tool that shows a picture beside its text: a one-row table, picture first, also
// when the text is empty (the picture then shows alone).
QString ToolHtmlWithIcon(HICON icon, const QString& text);
QString ToolHtmlWithIcon(IconResourceId icon, SIZE size, const QString& text);
QString ToolHtmlWithBitmap(BitmapResourceId bitmap, COLORREF mask, SIZE size, const QString& text);
// The whole string resource; empty when there is none.
QString ToolTextFromResource(StringResourceId text);

class CHtmlToolRegistry {
public:
    // A tool with this record; one with the rectangle of a tool the window has already replaces
    // that tool's fields, any other is added after the window's tools.
    void AddTool(HWND window, const HTMLTOOLINFO& tool);
    // A tool with only its text, rectangle (none: the whole window) and id; every display field
    // takes the tooltip's default.
    void AddTool(HWND window, const QString& html, const RECT* rect = nullptr, UINT toolId = 0);
    void AddTool(HWND window, StringResourceId text, const RECT* rect = nullptr, UINT toolId = 0);
    void AddTool(HWND window, const QString& text, HICON icon, const RECT* rect = nullptr, UINT toolId = 0);
    void AddTool(HWND window, StringResourceId text, HICON icon, const RECT* rect = nullptr, UINT toolId = 0);
    void AddTool(
        HWND window, const QString& text, IconResourceId icon, SIZE size, const RECT* rect = nullptr, UINT toolId = 0);
    void AddTool(HWND window, StringResourceId text, IconResourceId icon, SIZE size, const RECT* rect = nullptr,
        UINT toolId = 0);
    void AddTool(HWND window, const QString& text, BitmapResourceId bitmap, COLORREF mask, SIZE size,
        const RECT* rect = nullptr, UINT toolId = 0);

    // Without a rectangle every tool of the window goes; with one, the window's first tool of
    // that rectangle.
    void RemoveTool(HWND window, const RECT* rect = nullptr);
    void RemoveAllTools();

    // The window's first tool with that id, or with that rectangle; false when there is none.
    bool GetToolInfo(HTMLTOOLINFO* out, HWND window, UINT toolId) const;
    bool GetToolInfo(HTMLTOOLINFO* out, HWND window, const RECT& rect) const;
    void UpdateTipText(const QString& html, HWND window, UINT toolId);
    void DelTool(HWND window, UINT toolId);
    // Moves the tool with that id to a new rectangle; the tool keeps its place among the window's
    // tools and no copy stays behind at the old rectangle.
    void SetToolRect(HWND window, UINT toolId, const RECT& rect);

    // True when the toolbar is new to the list (the caller then turns the toolbar's own tips off).
    bool AddToolBar(HWND toolBar);
    bool IsToolBar(HWND window) const;
    const std::vector<HWND>& ToolBars() const { return m_toolBars; }

    // The tool of the window at a point in the window's client coordinates. A window whose only
    // tool has an empty rectangle is a whole-window tool and matches everywhere; otherwise the
    // window's tools are tried in order and an empty rectangle matches nowhere.
    bool FindToolInWindow(HWND window, POINT clientPoint, HTMLTOOLINFO* out) const;
    int ToolCount(HWND window) const;

private:
    std::map<HWND, std::vector<HTMLTOOLINFO>> m_tools;
    std::vector<HWND> m_toolBars;
};
