// Dialog templates: the project's resource tables describe each dialog as its caption, style, font
// and size, and per control its id, class, text, style and rectangle, all in dialog units. The
// layer turns dialog units into pixels with the dialog font's metrics, as Windows does: a
// horizontal unit is a quarter of the font's average character width, a vertical one an eighth
// of its height.
#pragma once

#include "platform/ui/WinUser.h"

#include <initializer_list>
#include <vector>

namespace taluvo::ui {

struct DialogItem {
    int id; // control id; IDC_STATIC (-1) for labels nobody addresses
    // "Button", "Edit", "Static", "ComboBox", "ScrollBar", "msctls_trackbar32", "SysListView32"
    // (the classes of CommCtrl.h and Controls.h); an unknown class fails the dialog
    const char16_t* cls;
    const char16_t* text; // may be null
    DWORD style; // WS_CHILD and WS_VISIBLE are implied (see Hidden for a hidden control)
    short x, y, cx, cy; // dialog units
    DWORD exStyle = 0;
    bool hidden = false; // made without WS_VISIBLE: shown only when the program shows it
};

// A control the dialog starts with hidden, as "NOT WS_VISIBLE" does in a resource script:
// Hidden({ 4000, u"Static", u"click here.", SS_NOTIFY, 124, 182, 34, 8 }).
inline DialogItem Hidden(DialogItem item)
{
    item.hidden = true;
    return item;
}

struct DialogTemplate {
    WORD id;
    const char16_t* caption;
    DWORD style; // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME ..., or WS_CHILD for pages
    short cx, cy; // client size in dialog units
    const char16_t* fontName; // null: the desktop's dialog font
    WORD fontSize; // points
    std::vector<DialogItem> items;
    DWORD exStyle = 0;
};

// Adds a template to the resource table (a later registration of the same id replaces it).
void RegisterDialogTemplate(const DialogTemplate& dialogTemplate);
const DialogTemplate* FindDialogTemplate(WORD id);

// Registers templates from a static table at start-up: static DialogTemplateTable t{{...}, {...}};
struct DialogTemplateTable {
    DialogTemplateTable(std::initializer_list<DialogTemplate> templates)
    {
        for (const auto& t : templates)
            RegisterDialogTemplate(t);
    }
};

} // namespace taluvo::ui
