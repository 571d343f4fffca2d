// The e-mail test dialog: the message's fields in a labelled column, the button that sends it
// with the progress beside it, and the log of the SMTP dialogue below.
#include "res/templates/Templates.h"

#include "res/DialogIds.h"
#include "res/templates/TemplateItems.h"

namespace taluvo::res::templates {
namespace {

using taluvo::ui::DialogTemplate;

DialogTemplate EMailTest()
{
    constexpr short w = 330, h = 256, labelX = 15, labelW = 84, fieldX = labelX + labelW + 2, right = w - 15;
    constexpr short nameW = 80, addressX = fieldX + nameW + 4, fieldW = right - fieldX;
    auto row = [](int r) { return static_cast<short>(18 + r * 16); };
    auto label
        = [&](const char16_t* text, int r) { return Label(text, labelX, static_cast<short>(row(r) + 2), labelW); };
    return { IDD_EMAIL_TEST, u"Test E-Mail Settings", kModalDialogStyle, w, h, nullptr, 0,
        {
            { IDC_STATIC, u"Button", u"E-Mail details:", BS_GROUPBOX | WS_GROUP, 7, 4, w - 14, 98 },
            label(u"SMTP Server:", 0),
            EditField(IDC_TEST_SMTP_SERVER, fieldX, row(0), fieldW),
            label(u"From (Name/Address):", 1),
            EditField(IDC_TEST_FROM_NAME, fieldX, row(1), nameW),
            EditField(IDC_TEST_FROM_ADDRESS, addressX, row(1), right - addressX),
            label(u"To (Name/Address):", 2),
            EditField(IDC_TEST_TO_NAME, fieldX, row(2), nameW),
            EditField(IDC_TEST_TO_ADDRESS, addressX, row(2), right - addressX),
            label(u"Subject:", 3),
            EditField(IDC_TEST_SUBJECT, fieldX, row(3), fieldW),
            label(u"Message:", 4),
            EditField(IDC_TEST_MESSAGE, fieldX, row(4), fieldW, ES_WANTRETURN),
            DefaultButton(IDC_TEST_TRY, u"&Try to send test e-mail", 7, 108, 110),
            Label(nullptr, 121, 108, w - 7 - 121, 14, IDC_TEST_PROGRESS, SS_CENTER | SS_CENTERIMAGE),
            Label(u"Output:", 7, 128, 100),
            { IDC_TEST_OUTPUT, u"Edit", nullptr,
                ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 7, 139, w - 14, 88 },
            PushButton(IDOK, u"OK", w - 7 - 104, h - 21),
            PushButton(IDCANCEL, u"Cancel", w - 57, h - 21),
        } };
}

} // namespace

void RegisterMailTemplates()
{
    taluvo::ui::RegisterDialogTemplate(EMailTest());
}

} // namespace taluvo::res::templates
