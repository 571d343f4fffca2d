// The tooltip's tool registry: adding, replacing, finding and removing tools, the hit test, and
// the HTML of tools that show a picture beside their text.
#include "Controls/HtmlToolTipTools.h"

#include "platform/ui/Menu.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// The registry only keys on handles; these never reach a window function.
HWND FakeWindow(uintptr_t n)
{
    return reinterpret_cast<HWND>(n);
}
const HWND kTree = FakeWindow(0x101);
const HWND kList = FakeWindow(0x102);

constexpr RECT kLeft { 0, 0, 50, 20 };
constexpr RECT kRight { 50, 0, 100, 20 };

HTMLTOOLINFO Tool(UINT id, RECT rect, const QString& html)
{
    HTMLTOOLINFO tool;
    tool.nID = id;
    tool.rcBounds = rect;
    tool.strHtml = html;
    return tool;
}

// The id of the tool found at a client point of the window; 0 when none.
UINT ToolAt(const CHtmlToolRegistry& tools, HWND window, POINT point)
{
    HTMLTOOLINFO found;
    return tools.FindToolInWindow(window, point, &found) ? found.nID : 0;
}

TEST(HtmlToolTipToolsTest, LookupsByIdRectangleAndPoint)
{
    CHtmlToolRegistry tools;
    tools.AddTool(kList, u"left"_qs, &kLeft, 1);
    tools.AddTool(kList, u"right"_qs, &kRight, 2);
    tools.AddTool(kTree, u"whole tree"_qs, nullptr, 7);

    HTMLTOOLINFO info;
    ASSERT_TRUE(tools.GetToolInfo(&info, kList, UINT(2)));
    EXPECT_EQ(info.strHtml, u"right"_qs);
    EXPECT_EQ(info.nMask, 0u) << "a text-only tool takes every display default";
    ASSERT_TRUE(tools.GetToolInfo(&info, kList, kLeft));
    EXPECT_EQ(info.nID, 1u);
    EXPECT_FALSE(tools.GetToolInfo(&info, kList, UINT(7))) << "ids are per window";
    EXPECT_FALSE(tools.GetToolInfo(&info, FakeWindow(0x999), UINT(1)));
    EXPECT_FALSE(tools.GetToolInfo(&info, kList, RECT { 0, 0, 10, 10 }));

    struct Case {
        HWND window;
        POINT point;
        UINT expect;
    } cases[] = {
        { kList, { 10, 10 }, 1 },
        { kList, { 49, 19 }, 1 },
        { kList, { 50, 0 }, 2 }, // right and bottom edges belong to the next rectangle
        { kList, { 100, 10 }, 0 },
        { kList, { 10, 20 }, 0 },
        { kTree, { 5000, -3 }, 7 }, // a whole-window tool answers anywhere
        { FakeWindow(0x999), { 1, 1 }, 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToolAt(tools, c.window, c.point), c.expect) << c.point.x << "," << c.point.y;
}

TEST(HtmlToolTipToolsTest, SameRectangleReplacesOtherRectangleAppends)
{
    CHtmlToolRegistry tools;
    tools.AddTool(kList, Tool(1, kLeft, u"first"_qs));
    HTMLTOOLINFO replacement = Tool(9, kLeft, u"second"_qs);
    replacement.nMask = 0x08;
    replacement.nDirection = 34;
    replacement.clrEnd = RGB(1, 2, 3);
    tools.AddTool(kList, replacement);
    EXPECT_EQ(tools.ToolCount(kList), 1);
    HTMLTOOLINFO info;
    ASSERT_TRUE(tools.GetToolInfo(&info, kList, kLeft));
    EXPECT_EQ(info.nID, 9u);
    EXPECT_EQ(info.strHtml, u"second"_qs);
    EXPECT_EQ(info.nDirection, 34);
    EXPECT_EQ(info.clrEnd, RGB(1, 2, 3));

    tools.AddTool(kList, Tool(3, kRight, u"third"_qs));
    EXPECT_EQ(tools.ToolCount(kList), 2);

    tools.UpdateTipText(u"changed"_qs, kList, 3);
    ASSERT_TRUE(tools.GetToolInfo(&info, kList, UINT(3)));
    EXPECT_EQ(info.strHtml, u"changed"_qs);
    EXPECT_EQ(tools.ToolCount(kList), 2);
    tools.UpdateTipText(u"nobody"_qs, kList, 42); // no such id: nothing added
    EXPECT_EQ(tools.ToolCount(kList), 2);

    // Moving a tool leaves no copy behind at its old rectangle.
    constexpr RECT moved { 200, 0, 250, 20 };
    tools.SetToolRect(kList, 3, moved);
    EXPECT_EQ(tools.ToolCount(kList), 2);
    EXPECT_EQ(ToolAt(tools, kList, { 60, 10 }), 0u);
    EXPECT_EQ(ToolAt(tools, kList, { 210, 10 }), 3u);
}

TEST(HtmlToolTipToolsTest, WholeWindowToolOnlyWhileAlone)
{
    CHtmlToolRegistry tools;
    tools.AddTool(kTree, u"tree"_qs, nullptr, 1);
    EXPECT_EQ(ToolAt(tools, kTree, { 300, 300 }), 1u);
    tools.AddTool(kTree, u"item"_qs, &kLeft, 2);
    EXPECT_EQ(ToolAt(tools, kTree, { 300, 300 }), 0u) << "an empty rectangle matches nowhere beside others";
    EXPECT_EQ(ToolAt(tools, kTree, { 10, 10 }), 2u);
    tools.DelTool(kTree, 2);
    EXPECT_EQ(ToolAt(tools, kTree, { 300, 300 }), 1u);
}

TEST(HtmlToolTipToolsTest, RemovingToolsAndToolBars)
{
    CHtmlToolRegistry tools;
    tools.AddTool(kList, u"a"_qs, &kLeft, 1);
    tools.AddTool(kList, u"b"_qs, &kRight, 2);
    tools.AddTool(kTree, u"t"_qs);

    tools.RemoveTool(kList, &kLeft);
    EXPECT_EQ(tools.ToolCount(kList), 1);
    EXPECT_EQ(ToolAt(tools, kList, { 60, 10 }), 2u);
    tools.RemoveTool(kList, &kLeft); // already gone: nothing
    EXPECT_EQ(tools.ToolCount(kList), 1);
    tools.RemoveTool(kList, &kRight); // the last one: the window goes
    EXPECT_EQ(tools.ToolCount(kList), 0);
    HTMLTOOLINFO info;
    EXPECT_FALSE(tools.FindToolInWindow(kList, { 60, 10 }, &info));

    tools.AddTool(kList, u"a"_qs, &kLeft, 1);
    tools.AddTool(kList, u"b"_qs, &kRight, 2);
    tools.RemoveTool(kList); // no rectangle: every tool of the window
    EXPECT_EQ(tools.ToolCount(kList), 0);
    EXPECT_EQ(tools.ToolCount(kTree), 1);
    tools.DelTool(kTree, 99);
    EXPECT_EQ(tools.ToolCount(kTree), 1);

    const HWND bar = FakeWindow(0x200);
    EXPECT_TRUE(tools.AddToolBar(bar));
    EXPECT_FALSE(tools.AddToolBar(bar)) << "a toolbar is listed, and its style changed, once";
    EXPECT_TRUE(tools.AddToolBar(FakeWindow(0x201)));
    EXPECT_EQ(tools.ToolBars().size(), 2u);
    EXPECT_TRUE(tools.IsToolBar(bar));
    EXPECT_FALSE(tools.IsToolBar(kTree));

    tools.RemoveAllTools();
    EXPECT_EQ(tools.ToolCount(kTree), 0);
    EXPECT_TRUE(tools.ToolBars().empty());
}

TEST(HtmlToolTipToolsTest, PicturesBesideTextAreDistinctKinds)
{
    constexpr UINT kStringId = 0xFE51;
    taluvo::ui::RegisterStringResources({ { kStringId, u"Page <b>changed</b>" } });

    struct Case {
        const char* name;
        std::function<void(CHtmlToolRegistry&)> add;
        QString expect;
    } cases[] = {
        { "icon handle",
            [](CHtmlToolRegistry& t) { t.AddTool(kTree, u"text"_qs, reinterpret_cast<HICON>(0x2A), nullptr, 1); },
            u"<table><tr><td><icon handle=0x2A></td><td>text</td></tr></table>"_qs },
        { "icon handle, text from the string table",
            [](CHtmlToolRegistry& t) {
                t.AddTool(kTree, StringResourceId { kStringId }, reinterpret_cast<HICON>(0x2A), nullptr, 1);
            },
            u"<table><tr><td><icon handle=0x2A></td><td>Page <b>changed</b></td></tr></table>"_qs },
        { "icon resource",
            [](CHtmlToolRegistry& t) {
                t.AddTool(kTree, u"text"_qs, IconResourceId { 213 }, SIZE { 16, 16 }, nullptr, 1);
            },
            u"<table><tr><td><icon idres=213 width=16 height=16></td><td>text</td></tr></table>"_qs },
        { "icon resource, text from the string table",
            [](CHtmlToolRegistry& t) {
                t.AddTool(kTree, StringResourceId { kStringId }, IconResourceId { 7 }, SIZE { 32, 24 }, nullptr, 1);
            },
            u"<table><tr><td><icon idres=7 width=32 height=24></td><td>Page <b>changed</b></td></tr></table>"_qs },
        { "bitmap resource",
            [](CHtmlToolRegistry& t) {
                t.AddTool(kTree, u"text"_qs, BitmapResourceId { 249 }, RGB(255, 0, 255), SIZE { 16, 15 }, nullptr, 1);
            },
            u"<table><tr><td><bmp idres=249 mask=0xFF00FF width=16 height=15></td><td>text</td></tr></table>"_qs },
        { "text only from the string table",
            [](CHtmlToolRegistry& t) { t.AddTool(kTree, StringResourceId { kStringId }, nullptr, 1); },
            u"Page <b>changed</b>"_qs },
        // The picture is wrapped whatever the text: a missing or empty text leaves it alone.
        { "missing string",
            [](CHtmlToolRegistry& t) {
                t.AddTool(kTree, StringResourceId { 0xFE52 }, IconResourceId { 213 }, SIZE { 16, 16 }, nullptr, 1);
            },
            u"<table><tr><td><icon idres=213 width=16 height=16></td><td></td></tr></table>"_qs },
        { "empty text with a bitmap",
            [](CHtmlToolRegistry& t) { t.AddTool(kTree, QString(), BitmapResourceId { 249 }, 0, SIZE {}, nullptr, 1); },
            u"<table><tr><td><bmp idres=249 mask=0x0 width=0 height=0></td><td></td></tr></table>"_qs },
        { "empty text with an icon handle",
            [](CHtmlToolRegistry& t) { t.AddTool(kTree, QString(), reinterpret_cast<HICON>(0x2A), nullptr, 1); },
            u"<table><tr><td><icon handle=0x2A></td><td></td></tr></table>"_qs },
        { "text only, missing string",
            [](CHtmlToolRegistry& t) { t.AddTool(kTree, StringResourceId { 0xFE52 }, nullptr, 1); }, QString() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CHtmlToolRegistry tools;
        c.add(tools);
        HTMLTOOLINFO info;
        ASSERT_TRUE(tools.GetToolInfo(&info, kTree, UINT(1)));
        EXPECT_EQ(info.strHtml, c.expect);
    }
}

} // namespace
