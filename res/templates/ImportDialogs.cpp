// The two pages of the bookmark import wizard, at the wizard's page size.
#include "res/templates/Templates.h"

#include "res/DialogIds.h"
#include "res/templates/TemplateItems.h"

namespace taluvo::res::templates {
namespace {

using taluvo::ui::DialogTemplate;

constexpr short kRight = kWizardPageWidth - 7;

DialogTemplate ImportSource()
{
    return { IDD_IMPORT_SOURCE, nullptr, kPageStyle, kWizardPageWidth, kWizardPageHeight, nullptr, 0,
        {
            Label(u"Select import source:", 7, 7, kRight - 7),
            RadioButton(IDC_IMPORT_FROM_IE, u"Internet Explorer", 17, 32, 150, true),
            RadioButton(IDC_IMPORT_FROM_FIREFOX, u"FireFox", 17, 47, 150, false),
            { IDC_STATIC, u"Button", nullptr, BS_GROUPBOX | WS_GROUP, 7, 19, kRight - 7, 46 },
        } };
}

DialogTemplate ImportList()
{
    constexpr short labelW = 84, comboX = 7 + labelW + 2;
    return { IDD_IMPORT_LIST, nullptr, kPageStyle, kWizardPageWidth, kWizardPageHeight, nullptr, 0,
        {
            { IDC_IMPORT_BOOKMARKS, WC_LISTVIEW, nullptr, LVS_REPORT | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP, 7, 7,
                kRight - 7, 128 },
            Label(u"Import into the group:", 7, 163, labelW),
            { IDC_IMPORT_GROUP, u"ComboBox", nullptr, CBS_DROPDOWNLIST | CBS_UPPERCASE | WS_VSCROLL | WS_TABSTOP,
                comboX, 161, kRight - comboX, 80 },
            PushButton(IDC_IMPORT_SELECT_NONE, u"Select &none", 7, 139, 60),
            PushButton(IDC_IMPORT_SELECT_ALL, u"Select &all", 71, 139, 60),
            CheckBox(IDC_IMPORT_CLEAR_GROUP, u"Clear group before import", comboX, 177, kRight - comboX),
            // Shown in the list's place, the list hidden, when nothing was found: the two are never
            // seen together, so the note is laid over the list (see-through for the layout check).
            taluvo::ui::Hidden(
                { IDC_IMPORT_EMPTY_NOTE, u"Static", nullptr, SS_LEFT, 12, 12, kRight - 17, 118, WS_EX_TRANSPARENT }),
        } };
}

} // namespace

void RegisterImportTemplates()
{
    for (const DialogTemplate& page : { ImportSource(), ImportList() })
        taluvo::ui::RegisterDialogTemplate(page);
}

} // namespace taluvo::res::templates
