// Runs the options sheet (or any modal dialog) headless and acts on it from the dialog hook as a
// user would; message boxes are answered and recorded.
#pragma once

#include "tests/platform/ui/UiTestSupport.h"

#include "dialogs/PreferencesDlg.h"
#include "platform/ui/PropertySheet.h"
#include "platform/ui/TestHooks.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace taluvo::test {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureUiApplication();
        taluvo::res::RegisterResources();
        m_boxes = std::make_unique<taluvo::ui::test::ScopedMessageBoxHook>(
            [this](const taluvo::ui::test::MessageBoxRequest& request) {
                m_messages.push_back(request.caption + QStringLiteral(": ") + request.text);
                m_boxIcons.push_back(request.type & 0xF0);
                return IDOK;
            });
    }

    // The sheet run on the source; act gets the sheet's window (template id 0) and other dialogs
    // opened from it (their template ids). Returns the sheet's result.
    INT_PTR RunSheet(
        CPreferencesDlg& dlg, std::function<void(HWND sheet)> act, std::function<void(HWND dialog, WORD id)> other = {})
    {
        taluvo::ui::test::ScopedDialogHook hook([&](HWND dialog, WORD id) {
            if (id == 0) {
                act(dialog);
                // A failed assertion left the sheet open: close it, so the test ends.
                if (::testing::Test::HasFatalFailure() && ::IsWindow(dialog))
                    taluvo::ui::test::PressSheetButton(dialog, PSBTN_CANCEL);
            } else if (other)
                other(dialog, id);
            else
                ::SendMessage(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        return dlg.DoModal(nullptr);
    }

    static HWND Page(HWND sheet, int index)
    {
        return reinterpret_cast<HWND>(::SendMessage(sheet, PSM_INDEXTOHWND, static_cast<WPARAM>(index), 0));
    }
    static HWND Control(HWND sheet, int page, int id) { return ::GetDlgItem(Page(sheet, page), id); }
    static int ActiveIndex(HWND sheet)
    {
        const HWND active = reinterpret_cast<HWND>(::SendMessage(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        return static_cast<int>(::SendMessage(sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(active), 0));
    }
    // Replaces a field's text, as a user does who selects it all and types over it.
    static void Retype(HWND edit, const QString& text) { ::SetWindowText(edit, text); }

    std::vector<QString> m_messages;
    std::vector<UINT> m_boxIcons;
    std::unique_ptr<taluvo::ui::test::ScopedMessageBoxHook> m_boxes;
};

// Tab indexes of the sheet.
enum : int {
    kUpdateAlerts,
    kErrorAlerts,
    kLogging,
    kConnections,
    kProxy,
    kVisual,
    kWebBrowser,
    kDefaultInterval,
    kSmtpNotify,
    kAutomation,
    kMisc,
    kPageCount
};

} // namespace taluvo::test
