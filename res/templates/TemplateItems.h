// Shorthands for the rows of the dialog template tables, so each table reads as a list of
// controls with their places rather than as class names and style bits. Places are in dialog
// units. The usual measures: a margin of 7, labels 8 high, check boxes and radio buttons 10,
// single-line fields 12 (a label beside one sits 2 lower), buttons 50 by 14.
#pragma once

#include "platform/ui/DialogTemplate.h"
#include "platform/ui/ListView.h"
#include "platform/ui/ScrollBar.h"
#include "platform/ui/Trackbar.h"

namespace taluvo::res::templates {

using taluvo::ui::DialogItem;

// The window styles of the two kinds of template.
constexpr DWORD kModalDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kPageStyle = WS_CHILD;

// The measures of the option pages and the wizard pages: every page of one sheet has the same
// size, so the sheet does not change size from tab to tab.
constexpr short kOptionPageWidth = 300;
constexpr short kOptionPageHeight = 210;
constexpr short kWizardPageWidth = 317;
constexpr short kWizardPageHeight = 193;

inline DialogItem Label(
    const char16_t* text, short x, short y, short cx, short cy = 8, int id = IDC_STATIC, DWORD style = SS_LEFT)
{
    return { id, u"Static", text, style, x, y, cx, cy };
}

inline DialogItem GroupBox(int id, const char16_t* text, short x, short y, short cx, short cy)
{
    return { id, u"Button", text, BS_GROUPBOX, x, y, cx, cy };
}

inline DialogItem CheckBox(int id, const char16_t* text, short x, short y, short cx, DWORD extra = 0)
{
    return { id, u"Button", text, BS_AUTOCHECKBOX | WS_TABSTOP | extra, x, y, cx, 10 };
}

// The first radio button of a group carries WS_GROUP (and is the group's tab stop); the control
// after the last one must carry WS_GROUP again to close the group.
inline DialogItem RadioButton(int id, const char16_t* text, short x, short y, short cx, bool firstOfGroup)
{
    return { id, u"Button", text, BS_AUTORADIOBUTTON | (firstOfGroup ? WS_GROUP | WS_TABSTOP : 0u), x, y, cx, 10 };
}

inline DialogItem EditField(int id, short x, short y, short cx, DWORD extra = 0, short cy = 12)
{
    return { id, u"Edit", nullptr, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | extra, x, y, cx, cy };
}

inline DialogItem PushButton(int id, const char16_t* text, short x, short y, short cx = 50, DWORD extra = 0)
{
    return { id, u"Button", text, BS_PUSHBUTTON | WS_TABSTOP | extra, x, y, cx, 14 };
}

inline DialogItem Trackbar(int id, short x, short y, short cx, short cy = 16)
{
    return { id, TRACKBAR_CLASS, nullptr, TBS_AUTOTICKS | WS_TABSTOP, x, y, cx, cy };
}

inline DialogItem HorizontalScrollBar(int id, short x, short y, short cx)
{
    return { id, u"ScrollBar", nullptr, SBS_HORZ | WS_TABSTOP, x, y, cx, 10 };
}

inline DialogItem DefaultButton(int id, const char16_t* text, short x, short y, short cx = 50)
{
    return { id, u"Button", text, BS_DEFPUSHBUTTON | WS_TABSTOP, x, y, cx, 14 };
}

} // namespace taluvo::res::templates
