// The dialogs of the main window's commands: the about box, the group dialog and the page
// dialogs. Labels stand left of their fields in one column, or above a field that spans the
// dialog; OK and Cancel sit at the bottom right.
#include "res/templates/Templates.h"

#include "res/DialogIds.h"
#include "res/templates/TemplateItems.h"

namespace taluvo::res::templates {
namespace {

using taluvo::ui::DialogTemplate;

// OK and Cancel at the bottom right of a dialog of the given size.
void AddOkCancel(std::vector<DialogItem>& items, short width, short height)
{
    items.push_back(DefaultButton(IDOK, u"OK", width - 7 - 50 - 4 - 50, height - 7 - 14));
    items.push_back(PushButton(IDCANCEL, u"Cancel", width - 7 - 50, height - 7 - 14));
}

DialogTemplate AboutBox()
{
    // The HTML control draws everything, the closing picture button included.
    return { IDD_ABOUTBOX, u"About", kModalDialogStyle, 230, 104, nullptr, 0,
        {
            { IDC_ABOUT_HTML, u"Static", nullptr, SS_ETCHEDFRAME | SS_NOTIFY, 0, 0, 230, 104 },
        } };
}

DialogTemplate Group()
{
    constexpr short w = 230, h = 92, labelW = 50, fieldX = 15 + labelW + 2, fieldW = w - 15 - fieldX;
    std::vector<DialogItem> items {
        GroupBox(IDC_GROUP_FRAME, nullptr, 7, 4, w - 14, 60),
        Label(u"Group titlle:", 15, 17, labelW),
        EditField(IDC_GROUP_TITLE, fieldX, 15, fieldW, ES_UPPERCASE),
        Label(u"Sort type:", 15, 33, labelW),
        { IDC_GROUP_SORT, u"ComboBox", nullptr, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, fieldX, 31,
            fieldW, 80 },
        CheckBox(IDC_GROUP_ENABLE, u"Enable", fieldX, 48, fieldW),
    };
    AddOkCancel(items, w, h);
    return { IDD_GROUP, u"Add group of web pages", kModalDialogStyle, w, h, nullptr, 0, std::move(items) };
}

DialogTemplate PageAdd()
{
    constexpr short w = 290, h = 78;
    std::vector<DialogItem> items {
        Label(u"Enter the address of the web page to monitor for updates:", 7, 7, w - 14, 8, IDC_PAGE_ADD_PROMPT),
        EditField(IDC_PAGE_URL, 7, 18, w - 14),
        { IDC_PAGE_PROGRESS, u"Edit", nullptr, ES_READONLY | ES_CENTER | ES_AUTOHSCROLL, 7, 35, w - 14, 12 },
    };
    AddOkCancel(items, w, h);
    return { IDD_PAGE_ADD, u"Add web page", kModalDialogStyle, w, h, nullptr, 0, std::move(items) };
}

DialogTemplate PageModify()
{
    constexpr short w = 300, h = 200, right = w - 7, buttonX = right - 50, linkW = buttonX - 6 - 7;
    constexpr short labelX = 15, labelW = 36, barX = labelX + labelW + 2;
    constexpr DWORD link = SS_LEFT | SS_NOTIFY | SS_NOPREFIX | WS_TABSTOP;
    return { IDD_PAGE_MODIFY, u"Modify web page properties", kModalDialogStyle, w, h, nullptr, 0,
        {
            CheckBox(IDC_PAGE_ENABLE, u"&Enable", 7, 7, 100),
            Label(u"Web page address:", 7, 24, linkW),
            { IDC_PAGE_URL_LINK, u"Static", u"Static", link, 7, 35, linkW, 9 },
            PushButton(IDC_PAGE_MODIFY_URL, u"&Modify ...", buttonX, 31),
            Label(u"&Description:", 7, 53, right - 7),
            EditField(IDC_PAGE_DESCR, 7, 64, right - 7),
            Label(u"Interval between checks:", 7, 84, right - 7, 8, IDC_INTERVAL_CAPTION),
            HorizontalScrollBar(IDC_INTERVAL_MINUTES, barX, 97, right - barX),
            HorizontalScrollBar(IDC_INTERVAL_HOURS, barX, 111, right - barX),
            HorizontalScrollBar(IDC_INTERVAL_DAYS, barX, 125, right - barX),
            Label(u"Minutes:", labelX, 98, labelW),
            Label(u"Hours:", labelX, 112, labelW),
            Label(u"Days:", labelX, 126, labelW),
            Label(u"Open alternative page in web browser:", 7, 144, linkW),
            { IDC_PAGE_BROWSER_LINK, u"Static", u"Static", link, 7, 155, linkW, 9 },
            PushButton(IDC_PAGE_MODIFY_BROWSER_URL, u"M&odify ...", buttonX, 151),
            PushButton(IDC_PAGE_CONTENT_FOR_CHECK, u"&Content for check...", 7, h - 21, 84),
            DefaultButton(IDOK, u"OK", right - 104, h - 21),
            PushButton(IDCANCEL, u"Cancel", buttonX, h - 21),
        } };
}

DialogTemplate PageProperties()
{
    // Wide enough for the longest "due in" text, "31 days, 23 hours, 59 minutes from now", beside
    // the due time.
    constexpr short w = 340, h = 196, labelX = 15, labelW = 58, valueX = labelX + labelW + 4;
    constexpr short valueW = w - 15 - valueX;
    constexpr DWORD readOnly = ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP;
    // Row r of the facts: labels and statics on the text line, read-only edits around it.
    auto top = [](int row) { return static_cast<short>(15 + row * 13); };
    auto edit = [&](int id, int row, short x, short cx) {
        return DialogItem { id, u"Edit", nullptr, readOnly, x, static_cast<short>(top(row) - 2), cx, 12 };
    };
    auto value = [&](int id, const char16_t* placeholder, int row) {
        return Label(placeholder, valueX, top(row), valueW, 8, id, SS_LEFT | SS_NOPREFIX);
    };
    constexpr short dueW = 90;
    return { IDD_PAGE_PROPERTIES, u"Page properties", kModalDialogStyle, w, h, nullptr, 0,
        {
            GroupBox(IDC_STATIC, nullptr, 7, 4, w - 14, 160),
            Label(u"Address:", labelX, top(0), labelW),
            edit(IDC_PROP_URL, 0, valueX, valueW),
            Label(u"Description:", labelX, top(1), labelW),
            edit(IDC_PROP_DESCR, 1, valueX, valueW),
            Label(u"Status:", labelX, top(2), labelW),
            edit(IDC_PROP_STATUS, 2, valueX, valueW),
            Label(u"HTTP Code:", labelX, top(3), labelW),
            value(IDC_HTTP_CODE, u"IDC_HTTP_CODE", 3),
            Label(u"Interval:", labelX, top(4), labelW),
            value(IDC_PROP_INTERVAL, u"IDC_PROP_INTERVAL", 4),
            Label(u"Last checked:", labelX, top(5), labelW),
            value(IDC_PROP_LAST_CHECKED, u"IDC_PROP_LAST_CHECKED", 5),
            Label(u"Last modified:", labelX, top(6), labelW),
            value(IDC_PROP_LAST_MODIFIED, u"IDC_PROP_LAST_MODIFIED", 6),
            Label(u"Check due:", labelX, top(7), labelW),
            Label(u"IDC_PROP_CHECK_DUE1", valueX, top(7), dueW, 8, IDC_PROP_CHECK_DUE1, SS_LEFT | SS_NOPREFIX),
            edit(IDC_PROP_CHECK_DUE_IN, 7, valueX + dueW + 4, valueW - dueW - 4),
            Label(u"Checksum:", labelX, top(8), labelW),
            value(IDC_PROP_CHECKSUM, u"IDC_PROP_CHECKSUM", 8),
            Label(u"Start check:", labelX, top(9), labelW),
            value(IDC_PROP_START_CHECK, u"IDC_PROP_START_CHECK", 9),
            Label(u"Stop check:", labelX, top(10), labelW),
            value(IDC_PROP_STOP_CHECK, u"IDC_PROP_STOP_CHECK", 10),
            DefaultButton(IDOK, u"OK", w - 57, h - 21),
        } };
}

DialogTemplate SearchContent()
{
    constexpr short w = 400, h = 290, groupW = w - 14, inRight = w - 15, radioW = 96, editX = 15 + radioW + 4;
    // Resizable: the page text grows with the dialog (the dialog's resize rules move the rest).
    constexpr DWORD style = kModalDialogStyle | WS_THICKFRAME | WS_MAXIMIZEBOX;
    return { IDD_SEARCH_CONTENT, u"Specify content for check", style, w, h, nullptr, 0,
        {
            GroupBox(IDC_START_FRAME, u"Start checking:", 7, 4, groupW, 46),
            RadioButton(IDC_START_FROM_BEGINNING, u"From the beginning of the web page", 15, 16, inRight - 15, true),
            RadioButton(IDC_START_FROM_TEXT, u"From the following text:", 15, 32, radioW, false),
            EditField(IDC_START_TEXT, editX, 31, inRight - editX, WS_GROUP),
            GroupBox(IDC_STOP_FRAME, u"Stop checking:", 7, 54, groupW, 46),
            RadioButton(IDC_STOP_AT_END, u"At the end of web page", 15, 66, inRight - 15, true),
            RadioButton(IDC_STOP_AT_TEXT, u"At the following text:", 15, 82, radioW, false),
            EditField(IDC_STOP_TEXT, editX, 81, inRight - editX, WS_GROUP),
            { IDC_PAGE_TEXT, u"RICHEDIT", nullptr,
                ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL | WS_BORDER | WS_TABSTOP, 7, 106, groupW, 130 },
            // The progress line is as high as an edit field, its one line of text centred in it.
            GroupBox(IDC_PROGRESS_FRAME, nullptr, 7, 239, groupW, 25),
            Label(u"---", 13, 247, groupW - 12, 12, IDC_PAGE_PROGRESS, SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN),
            PushButton(IDC_DOWNLOAD_PAGE, u"&Download page", 7, h - 21, 70),
            DefaultButton(IDOK, u"OK", w - 7 - 104, h - 21),
            PushButton(IDCANCEL, u"Cancel", w - 57, h - 21),
        } };
}

} // namespace

void RegisterPageDialogTemplates()
{
    for (const DialogTemplate& dialog :
        { AboutBox(), Group(), PageAdd(), PageModify(), PageProperties(), SearchContent() })
        taluvo::ui::RegisterDialogTemplate(dialog);
}

} // namespace taluvo::res::templates
