// The crash dialog, shown by the crash helper: its places are those of the dialog the crash
// reports were always shown in (dialog units of an 8-point font), except that the lines end at
// the dialog's edge and the link's caption is wide enough for the desktop's font.
#include "res/templates/Templates.h"

#include "res/DialogIds.h"
#include "res/templates/TemplateItems.h"

namespace taluvo::res::templates {

void RegisterCrashTemplates()
{
    taluvo::ui::RegisterDialogTemplate({ IDD_CRASH_REPORT, u"", kModalDialogStyle, 270, 222, nullptr, 8,
        {
            { IDC_CRASH_BAND, u"Static", u"", SS_LEFT, 0, 0, 269, 32 },
            { IDC_CRASH_HEADLINE, u"Static", u"", SS_LEFT | SS_NOPREFIX, 20, 7, 212, 21, WS_EX_TRANSPARENT },
            { IDC_CRASH_ICON, u"Static", nullptr, SS_ICON, 234, 6, 20, 20, WS_EX_TRANSPARENT },
            { IDC_STATIC, u"Static", nullptr, SS_ETCHEDHORZ, 0, 32, 270, 1 },
            { IDC_STATIC, u"Static",
                u"If you were in the middle of something, the information you were working on might be lost.", SS_LEFT,
                20, 39, 230, 20 },
            { IDC_STATIC, u"Static",
                u"I have created an error report that you can send to me. I will treat this report as confidential and "
                u"anonymous.",
                SS_LEFT, 20, 62, 230, 18 },
            { IDC_STATIC, u"Static",
                u"To help me diagnose the cause of this error and improve this software, please describe what you were "
                u"doing when this error occurred, and send this report to me.",
                SS_LEFT, 20, 83, 230, 28 },
            { IDC_STATIC, u"Static", u"Describe what you were doing when the error occurred (optional):", SS_LEFT, 20,
                114, 230, 8 },
            { IDC_CRASH_DESCRIPTION, u"Edit", u"",
                ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 20, 127, 231, 54 },
            // The link to the report's contents is not offered: hidden with its caption.
            taluvo::ui::Hidden(
                { IDC_CRASH_LINK_CAPTION, u"Static", u"To see what this report contains", SS_LEFT, 20, 182, 112, 8 }),
            taluvo::ui::Hidden({ IDC_CRASH_LINK, u"Static", u"click here.", SS_LEFT | SS_NOTIFY, 134, 182, 40, 8 }),
            { IDC_STATIC, u"Static", nullptr, SS_ETCHEDHORZ, 0, 194, 270, 1 },
            { IDOK, u"Button", u"&Send", BS_DEFPUSHBUTTON | WS_TABSTOP, 148, 202, 50, 14 },
            { IDCANCEL, u"Button", u"E&xit", BS_PUSHBUTTON | WS_TABSTOP, 201, 202, 50, 14 },
        } });
}

} // namespace taluvo::res::templates
